#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace orvel {

// One raw input record (the WM_INPUT handle): primary-button presses and wheel steps over the
// desktop, their releases wherever they happen, and pure moves, which wait for flush_mouse_move.
void on_raw_input(Platform& os, std::int64_t raw_input);

// Sends the latest pending move, once the desktop has the foreground and if it moved.
void flush_mouse_move(Platform& os);

void forward_wheel(Platform& os, std::int16_t delta_x, std::int16_t delta_y);

// The translation's state as it is at process start, for harnesses that run several monitors.
void reset_mouse_translation();

}  // namespace orvel
