#pragma once

#include <string>
#include <string_view>

namespace portauth {

// Where the remembered inputs live in the per-user settings store.
inline constexpr std::u16string_view kSettingsApplication = u"Lanbridge";
inline constexpr std::u16string_view kSettingsSection = u"PortAuth";
inline constexpr std::u16string_view kUsernameKey = u"Username";
inline constexpr std::u16string_view kIPKey = u"IP";

// Reads one string; the default when the key or its section is absent.
// Whatever a damaged store still holds is returned; a store that cannot be
// read at all throws NumberedError(SettingsAccess).
std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                          std::u16string_view key, std::u16string_view defaultValue);

// Stores one string and makes it reach the disk before returning. Throws
// NumberedError(SettingsAccess) when it cannot; the file on disk then stays
// as it was.
void SaveSetting(std::u16string_view application, std::u16string_view section,
                 std::u16string_view key, std::u16string_view value);

// The program's own values, at its own address; an absent one is empty.
inline std::u16string GetRemembered(std::u16string_view key)
{
    return GetSetting(kSettingsApplication, kSettingsSection, key, u"");
}
inline void SaveRemembered(std::u16string_view key, std::u16string_view value)
{
    SaveSetting(kSettingsApplication, kSettingsSection, key, value);
}

} // namespace portauth
