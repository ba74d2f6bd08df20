#pragma once

#include <optional>

#include "platform/platform.h"

namespace orvel {

// `inspect`: the desktop as the helper sees it and what `attach` would choose for `window` (for
// the primary monitor without one), in one "inspected" line; it changes nothing, but with `spawn`
// it first asks the shell for its layer as `attach` would. With `wait_shell_ms`, a shell that is
// not there yet is waited for that long. Gives the exit code.
int run_inspect(Platform& os, std::optional<Hwnd> window, bool spawn,
                std::optional<std::uint32_t> wait_shell_ms);

}  // namespace orvel
