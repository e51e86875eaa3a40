#include "main_window.h"
#include "settings_store.h"

namespace {

// The per-user registry key, as the window reads and writes it.
class SystemSettings final : public portauth::ui::SettingsPort {
    std::u16string Get(std::u16string_view key) override { return portauth::GetSetting(kApp, kSection, key, u""); }
    void Save(std::u16string_view key, std::u16string_view value) override
    {
        portauth::SaveSetting(kApp, kSection, key, value);
    }
    static constexpr std::u16string_view kApp = portauth::kSettingsApplication, kSection = portauth::kSettingsSection;
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    SystemSettings settings;
    const auto window = portauth::win32::MainWindow::Create(instance, showCommand, settings);
    if (!window)
        return 1;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        window->Dispatch(message);
    return static_cast<int>(message.wParam);
}
