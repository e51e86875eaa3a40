#pragma once

#include <string_view>

namespace portauth {

// Writes all of `text`, going on after interrupted or partial writes. False,
// with errno set, when it cannot.
bool WriteAll(int fd, std::string_view text) noexcept;

} // namespace portauth
