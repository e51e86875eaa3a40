// The per-user settings store on Windows: the registry, under
// HKEY_CURRENT_USER\Software\<application>\<section>, one REG_SZ per key.
#include "settings_store.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "numbered_error.h"

namespace portauth {
namespace {

std::wstring Wide(std::u16string_view text)
{
    return {text.begin(), text.end()};
}

std::u16string SubkeyPath(std::u16string_view application, std::u16string_view section)
{
    return u"Software\\" + std::u16string(application) + u"\\" + std::u16string(section);
}

[[noreturn]] void Fail(std::u16string_view path, LSTATUS status)
{
    throw NumberedError(ErrorNumber::SettingsAccess, "registry error " + std::to_string(status),
                        u"HKEY_CURRENT_USER\\" + std::u16string(path));
}

// The value as stored, or nothing when it is absent.
bool ReadValue(std::u16string_view path, std::u16string_view key, std::u16string& value)
{
    const std::wstring subkey = Wide(path);
    const std::wstring name = Wide(key);
    DWORD bytes = 0;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                                  nullptr, &bytes);
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        status = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                              buffer.data(), &bytes);
        if (status == ERROR_SUCCESS) {
            buffer.resize(bytes / sizeof(wchar_t));
            while (!buffer.empty() && buffer.back() == L'\0')
                buffer.pop_back();
            value.assign(buffer.begin(), buffer.end());
            return true;
        }
    }
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND)
        return false;
    Fail(path, status);
}

} // namespace

std::u16string GetSetting(std::u16string_view application, std::u16string_view section, std::u16string_view key,
                          std::u16string_view defaultValue)
{
    std::u16string value;
    return ReadValue(SubkeyPath(application, section), key, value) ? value : std::u16string(defaultValue);
}

void SaveSetting(std::u16string_view application, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value)
{
    const std::u16string path = SubkeyPath(application, section);
    std::u16string stored;
    if (ReadValue(path, key, stored) && stored == value)
        return;
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (status != ERROR_SUCCESS)
        Fail(path, status);
    const std::wstring data = Wide(value);
    status = RegSetValueExW(handle, Wide(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        Fail(path, status);
}

} // namespace portauth
