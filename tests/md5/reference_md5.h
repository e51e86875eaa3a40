#pragma once

#include <cstdint>
#include <span>
#include <string>

// MD5 from a library that is not ours, as 32 uppercase hex digits: OpenSSL,
// or on Windows the system's own BCrypt provider.
std::string ReferenceMd5(std::span<const std::uint8_t> bytes);
