#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "wiping.h" // WipeBytes, for the buffers that held a password

namespace portauth {

// The bytes of a text in the ANSI code page. They are usually a password, so
// the storage is owned here and wiped before it goes back to the heap.
class AnsiBytes {
public:
    AnsiBytes() = default;
    explicit AnsiBytes(std::size_t capacity);
    AnsiBytes(AnsiBytes&& other) noexcept;
    AnsiBytes(const AnsiBytes&) = delete;
    AnsiBytes& operator=(const AnsiBytes&) = delete;
    ~AnsiBytes();

    std::span<const std::uint8_t> bytes() const noexcept { return {storage_.get(), size_}; }
    std::span<std::uint8_t> writable() noexcept { return {storage_.get(), capacity_}; }
    void setSize(std::size_t size) noexcept;

private:
    void wipe() noexcept;

    std::unique_ptr<std::uint8_t[]> storage_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

// The text in the system's ANSI code page, as WideCharToMultiByte makes it
// with flags 0; off Windows the same bytes as Windows' code page 936 (GBK):
// best-fit replacements included, one '?' for each UTF-16 unit without a
// mapping (two for a surrogate pair), and no terminator.
AnsiBytes ToAnsiCodePage(std::u16string_view text);

} // namespace portauth
