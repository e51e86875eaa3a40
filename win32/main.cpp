#include "main_window.h"
#include "settings_store.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    portauth::ui::StoreSettings settings(&portauth::GetRemembered, &portauth::SaveRemembered);
    const auto window = portauth::win32::MainWindow::Create(instance, showCommand, settings);
    if (!window)
        return 1;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        window->Dispatch(message);
    return static_cast<int>(message.wParam);
}
