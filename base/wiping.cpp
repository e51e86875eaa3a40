#include "wiping.h"

#include <cstdint>

namespace portauth {

void WipeBytes(void* data, std::size_t size) noexcept
{
    // Stores through a volatile pointer are observable behaviour, so they
    // survive dead-store elimination right before a free.
    auto* bytes = static_cast<volatile std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = 0;
}

} // namespace portauth
