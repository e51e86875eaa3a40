#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace portauth::win32 {

// wchar_t is a UTF-16 code unit on Windows, so the two views share bytes.
inline const wchar_t* Wide(std::u16string_view text) noexcept
{
    return reinterpret_cast<const wchar_t*>(text.data());
}

inline std::wstring WideString(std::u16string_view text)
{
    return {Wide(text), text.size()};
}

inline std::u16string WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

} // namespace portauth::win32
