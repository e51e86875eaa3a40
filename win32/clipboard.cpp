#include "clipboard.h"

#include <cstring>
#include <new>

#include "numbered_error.h"

namespace portauth::win32 {
namespace {

// Another program may hold the clipboard open for a moment; a fifth of a
// second is long enough to wait it out and short enough not to be noticed.
constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMilliseconds = 20;

class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner)
    {
        for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
            if (OpenClipboard(owner))
                return;
            Sleep(kOpenRetryMilliseconds);
        }
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "the clipboard is held by another program");
    }
    ~OpenedClipboard() { CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

// Hands a copy of the bytes to the clipboard, which owns them once it has
// taken them.
void Put(UINT format, const void* data, std::size_t size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory)
        throw std::bad_alloc();
    std::memcpy(GlobalLock(memory), data, size);
    GlobalUnlock(memory);
    if (!SetClipboardData(format, memory)) {
        GlobalFree(memory);
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "SetClipboardData failed");
    }
}

void PutDword(const wchar_t* formatName, DWORD value)
{
    const UINT format = RegisterClipboardFormatW(formatName);
    if (format != 0)
        Put(format, &value, sizeof value);
}

// Clipboard monitors, the clipboard history and its upload to the cloud
// leave out a text marked this way.
void MarkSecret()
{
    PutDword(L"ExcludeClipboardContentFromMonitorProcessing", 0);
    PutDword(L"CanIncludeInClipboardHistory", 0);
    PutDword(L"CanUploadToCloudClipboard", 0);
}

} // namespace

void Clipboard::Clear()
{
    OpenedClipboard opened(owner_);
    if (!EmptyClipboard())
        throw NumberedError(ErrorNumber::ClipboardUnavailable, "EmptyClipboard failed");
}

void Clipboard::SetText(std::u16string_view text, Sensitivity sensitivity)
{
    OpenedClipboard opened(owner_);
    std::u16string terminated(text);
    Put(CF_UNICODETEXT, terminated.c_str(), (terminated.size() + 1) * sizeof(char16_t));
    if (sensitivity == Sensitivity::Secret)
        MarkSecret();
}

} // namespace portauth::win32
