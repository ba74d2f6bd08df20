#pragma once

#include <cstdint>

#include "platform/types.h"

namespace orvel {

// Which messages of the hidden window mean what, from values alone.

// A change of the displays, of the work area or of the DPI, or a resume from sleep: the host
// window may no longer fit its monitor.
bool display_changed(std::uint32_t message, std::uint64_t wparam);

// Whether a message taken from the queue goes on to the window procedure. A power setting comes
// only sent, by the system, with data that lives as long as the call: a posted one is someone
// else's. A timer message with a procedure would have it called through its lparam: the helper's
// timers have none.
bool dispatches_queued(const Message& message);

}  // namespace orvel
