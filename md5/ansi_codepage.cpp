#include "ansi_codepage.h"

#include <limits>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <algorithm>
#endif

namespace portauth {

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

// Off Windows the page comes from a table made from Windows' own conversion.
struct Cp936Run {
    char16_t first;
    std::uint16_t code;
    std::uint16_t count = 1;
};

constexpr Cp936Run Cp936Runs[] = {
#include "cp936_table.inc"
};
static_assert(std::ranges::is_sorted(Cp936Runs, {}, &Cp936Run::first));

constexpr std::uint16_t NoMapping = '?';
constexpr unsigned TrailsPerLead = 190; // 0x40 to 0xFE without 0x7F

// The code `steps` places after `code` in the order the table's runs follow.
constexpr std::uint16_t CodeAfter(std::uint16_t code, unsigned steps)
{
    if (code < 0x100)
        return static_cast<std::uint16_t>(code + steps);
    const unsigned trail = code & 0xFFu;
    const unsigned index = (code >> 8) * TrailsPerLead + trail - (trail < 0x7F ? 0x40 : 0x41) + steps;
    const unsigned nextTrail = index % TrailsPerLead;
    return static_cast<std::uint16_t>((index / TrailsPerLead) << 8 | (nextTrail + (nextTrail < 0x3F ? 0x40 : 0x41)));
}

std::uint16_t Cp936Code(char16_t unit)
{
    const auto after = std::ranges::upper_bound(Cp936Runs, unit, {}, &Cp936Run::first);
    if (after == std::ranges::begin(Cp936Runs))
        return NoMapping;
    const Cp936Run& run = *(after - 1);
    const unsigned offset = static_cast<unsigned>(unit - run.first);
    return offset < run.count ? CodeAfter(run.code, offset) : NoMapping;
}

} // namespace

AnsiBytes ToAnsiCodePage(std::u16string_view text)
{
    if (text.empty())
        return {};

    // Windows converts each UTF-16 unit on its own, so a surrogate pair
    // becomes two '?'. The bytes go straight into storage that is wiped; at
    // most two per unit, as many as the text itself takes.
    AnsiBytes result(2 * text.size());
    std::uint8_t* const begin = result.writable().data();
    std::uint8_t* end = begin;
    for (const char16_t unit : text) {
        const std::uint16_t code = Cp936Code(unit);
        if (code > 0xFF)
            *end++ = static_cast<std::uint8_t>(code >> 8);
        *end++ = static_cast<std::uint8_t>(code & 0xFF);
    }
    result.setSize(static_cast<std::size_t>(end - begin));
    return result;
}

#endif

} // namespace portauth
