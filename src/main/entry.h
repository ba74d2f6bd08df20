#pragma once

#include <string_view>

#include "cli/exit_codes.h"
#include "platform/platform.h"

namespace orvel {

// The whole program: splits and parses the process command line, runs the command and gives the
// process exit code.
int run_program(Platform& os);

// Writes the usage text and "error: <message>" to standard error; gives the usage exit code.
int print_usage_error(Platform& os, std::string_view message);

}  // namespace orvel
