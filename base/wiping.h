#pragma once

#include <cstddef>
#include <memory>

namespace portauth {

// Overwrites memory in a way the optimiser must keep, even when the memory
// is about to be released.
void WipeBytes(void* data, std::size_t size) noexcept;

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

} // namespace portauth
