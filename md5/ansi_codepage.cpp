#include "ansi_codepage.h"

#include <limits>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <QStringEncoder>
#endif

namespace portauth {

void WipeBytes(void* data, std::size_t size) noexcept
{
    // Stores through a volatile pointer are observable behaviour, so they
    // survive dead-store elimination right before a free.
    auto* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

AnsiBytes::AnsiBytes(std::size_t capacity)
    : storage_(std::make_unique<std::uint8_t[]>(capacity)), capacity_(capacity)
{
}

AnsiBytes::AnsiBytes(AnsiBytes&& other) noexcept
    : storage_(std::move(other.storage_)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0))
{
}

AnsiBytes& AnsiBytes::operator=(AnsiBytes&& other) noexcept
{
    if (this != &other) {
        wipe();
        storage_ = std::move(other.storage_);
        capacity_ = std::exchange(other.capacity_, 0);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

AnsiBytes::~AnsiBytes()
{
    wipe();
}

void AnsiBytes::setSize(std::size_t size) noexcept
{
    size_ = size < capacity_ ? size : capacity_;
}

void AnsiBytes::wipe() noexcept
{
    if (storage_)
        WipeBytes(storage_.get(), capacity_);
}

#ifdef _WIN32

AnsiBytes ToAnsiCodePage(std::u16string_view text)
{
    if (text.empty())
        return {};
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::length_error("text too long for the ANSI conversion");

    // wchar_t is a UTF-16 code unit on Windows.
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        throw std::runtime_error("the ANSI conversion failed");

    AnsiBytes result(static_cast<std::size_t>(needed));
    auto* out = reinterpret_cast<char*>(result.writable().data());
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, length, out, needed, nullptr, nullptr);
    result.setSize(static_cast<std::size_t>(written > 0 ? written : 0));
    return result;
}

#else

namespace {

constexpr bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

constexpr bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

std::size_t CodePointLength(std::u16string_view text, std::size_t at)
{
    return IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]) ? 2 : 1;
}

// Encodes one code point at `out` and returns the end of its bytes. It goes
// one code point at a time because ICU writes nothing at all for some it
// cannot map (default-ignorables such as U+FE00, and an unpaired high
// surrogate, which it holds back for a pair) where Windows writes '?'.
char* EncodeCodePoint(QStringEncoder& encoder, QStringView codePoint, char* out, const char* limit)
{
    if (limit - out < encoder.requiredSpace(codePoint.size()))
        throw std::length_error("the ANSI conversion outgrew its buffer");
    char* const end = encoder.appendToBuffer(out, codePoint);
    if (end != out)
        return end;
    *out = '?';
    return out + 1;
}

} // namespace

AnsiBytes ToAnsiCodePage(std::u16string_view text)
{
    // Qt's ICU backend knows "CP936" with Windows' own table ("€" is 0x80).
    QStringEncoder encoder("CP936", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        throw std::runtime_error("code page 936 is not available");

    AnsiBytes result(static_cast<std::size_t>(encoder.requiredSpace(static_cast<qsizetype>(text.size()))));
    // Encoding straight into storage we own keeps the password out of
    // temporaries that would be freed without being wiped.
    char* const begin = reinterpret_cast<char*>(result.writable().data());
    char* const limit = begin + result.writable().size();
    char* end = begin;
    for (std::size_t at = 0; at < text.size();) {
        const QStringView codePoint(text.data() + at, static_cast<qsizetype>(CodePointLength(text, at)));
        end = EncodeCodePoint(encoder, codePoint, end, limit);
        at += static_cast<std::size_t>(codePoint.size());
    }
    result.setSize(static_cast<std::size_t>(end - begin));
    return result;
}

#endif

} // namespace portauth
