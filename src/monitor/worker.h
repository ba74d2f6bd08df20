#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "attach/discovery.h"
#include "attach/placement.h"
#include "events/trace.h"
#include "monitor/state.h"
#include "platform/platform.h"

namespace orvel {

// Starts a re-attach worker for the shared state unless one is running already, which then runs
// once more instead.
void start_reattach_worker(Platform& os, const std::shared_ptr<SharedState>& shared);

// The trace's line for a layer the host window was attached to, the area it was fitted over and
// where it belongs.
void note_layer(Trace& trace, std::string_view what, Hwnd host, const DesktopLayer& layer,
                const std::optional<Rect>& area, const Home& home);

}  // namespace orvel
