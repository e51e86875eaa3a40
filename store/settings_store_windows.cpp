// The store on Windows: HKEY_CURRENT_USER\Software\<application>\<section>,
// one REG_SZ value per key. The registry writes each value whole.
#include "settings_store.h"

#include <windows.h>

#include <optional>

#include "numbered_error.h"

namespace portauth {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring keyPath(std::u16string_view application, std::u16string_view section)
{
    return L"Software\\" + wide(application) + L"\\" + wide(section);
}

std::string utf8(const std::wstring& text)
{
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// The message names the value, so that the user knows which one to fix.
[[noreturn]] void throwAccessError(const char* action, const std::wstring& path, std::u16string_view name)
{
    const std::wstring where = L"HKEY_CURRENT_USER\\" + path + L"\\" + wide(name);
    throw NumberedError(ErrorNumber::SettingsAccess, std::string("cannot ") + action + " " + utf8(where),
                        std::u16string(reinterpret_cast<const char16_t*>(where.data()), where.size()));
}

class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey()
    {
        if (handle != nullptr)
            ::RegCloseKey(handle);
    }
    HKEY handle = nullptr;
};

// The stored text; nothing when the key or the value is absent. A value of
// another type fails alone: each value is read on its own.
std::optional<std::u16string> readValue(const std::wstring& path, std::u16string_view name)
{
    RegistryKey key;
    LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key.handle);
    if (status == ERROR_FILE_NOT_FOUND)
        return std::nullopt;
    if (status != ERROR_SUCCESS)
        throwAccessError("read", path, name);
    const std::wstring valueName = wide(name);
    std::u16string text;
    DWORD size = 0;
    // The value may grow between asking its size and reading it.
    do {
        DWORD type = 0;
        status = ::RegQueryValueExW(key.handle, valueName.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            throwAccessError("read", path, name);
        text.assign(size / sizeof(char16_t) + 1, u'\0');
        size = static_cast<DWORD>(text.size() * sizeof(char16_t));
        status = ::RegQueryValueExW(key.handle, valueName.c_str(), nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(text.data()), &size);
    } while (status == ERROR_MORE_DATA);
    if (status != ERROR_SUCCESS)
        throwAccessError("read", path, name);
    text.resize(size / sizeof(char16_t));
    // The terminator, when the writer stored one.
    if (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}

// What is stored, when it can be read as a text: a value of another type
// is simply replaced.
std::optional<std::u16string> storedText(const std::wstring& path, std::u16string_view name)
{
    try {
        return readValue(path, name);
    } catch (const NumberedError&) {
        return std::nullopt;
    }
}

} // namespace

std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                          std::u16string_view key, std::u16string_view defaultValue)
{
    const std::optional<std::u16string> value = readValue(keyPath(application, section), key);
    return value ? *value : std::u16string(defaultValue);
}

void SaveSetting(std::u16string_view application, std::u16string_view section,
                 std::u16string_view key, std::u16string_view value)
{
    const std::wstring path = keyPath(application, section);
    if (storedText(path, key) == value)
        return;
    const std::wstring data = wide(value);
    const std::size_t bytes = (data.size() + 1) * sizeof(wchar_t);
    RegistryKey registryKey;
    if (bytes > MAXDWORD
        || ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                             nullptr, &registryKey.handle, nullptr) != ERROR_SUCCESS
        || ::RegSetValueExW(registryKey.handle, wide(key).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(bytes))
               != ERROR_SUCCESS)
        throwAccessError("write", path, key);
}

} // namespace portauth
