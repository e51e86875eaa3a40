#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace portauth::cli {

struct ProgramResult {
    int exitCode = -1; // -1 when a signal ended it
    std::string output;
    std::string errors;
};

// Runs a program found on PATH with `input` as its standard input, and waits
// for it. Secrets go through `input`: unlike arguments, no other user can
// read them in the process list. Empty when there is no such program.
std::optional<ProgramResult> RunProgram(const std::vector<std::string>& arguments, std::string_view input);

} // namespace portauth::cli
