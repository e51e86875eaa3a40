#include <cstdlib>
#include <exception>

#include "main_window.h"
#include "settings_store.h"

#ifdef __GLIBCXX__
// GCC's default handler for an uncaught exception prints the exception's
// demangled type to standard error, then aborts. A GUI program has no
// standard error, and the demangler it brings along made up a quarter of
// PortAuth.exe: this one, linked in its place, only aborts.
void __gnu_cxx::__verbose_terminate_handler()
{
    std::abort();
}
#endif

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
