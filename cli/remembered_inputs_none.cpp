#include "remembered_inputs.h"

namespace portauth::cli {

// Built where the settings store has no implementation yet: nothing is
// remembered there, so --account and --ip are the only source.
std::u16string Remembered(RememberedInput)
{
    return {};
}

} // namespace portauth::cli
