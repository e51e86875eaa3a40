#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "ansi_codepage.h"

namespace portauth::cli {

// Wipes every block it gives back, the ones left behind by growing included,
// so a password leaves no copy on the heap.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* block, std::size_t count) noexcept
    {
        WipeBytes(block, count * sizeof(T));
        std::allocator<T>().deallocate(block, count);
    }
    friend bool operator==(const WipingAllocator&, const WipingAllocator&) { return true; }
};

// A growable text for passwords. Unlike std::basic_string it has no buffer
// inside the object, which would be left unwiped.
template <class Char>
using SecretText = std::vector<Char, WipingAllocator<Char>>;

} // namespace portauth::cli
