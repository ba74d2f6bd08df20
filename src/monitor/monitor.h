#pragma once

#include "cli/command_line.h"
#include "platform/platform.h"

namespace orvel {

// The attach monitor: attaches the host window and keeps it in place until standard input says
// "detach" or ends, or its hidden window is closed; then gives it back. Gives the exit code.
int run_attach_monitor(Platform& os, const Command& command);

}  // namespace orvel
