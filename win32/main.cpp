#include "main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    const auto window = portauth::win32::MainWindow::Create(instance, showCommand);
    if (!window)
        return 1;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        window->Dispatch(message);
    return static_cast<int>(message.wParam);
}
