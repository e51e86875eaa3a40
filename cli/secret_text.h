#pragma once

#include <vector>

#include "wiping.h"

namespace portauth::cli {

// A growable text for passwords. Unlike std::basic_string it has no buffer
// inside the object, which would be left unwiped.
template <class Char>
using SecretText = std::vector<Char, WipingAllocator<Char>>;

} // namespace portauth::cli
