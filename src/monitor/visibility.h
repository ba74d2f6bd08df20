#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace orvel {

// The "visibility" lines of `attach --report-visibility`. Everything here runs on the monitor's
// thread, except `visibility_after_attach`.

inline constexpr std::uint64_t visibility_timer_id = 3;
inline constexpr std::uint32_t visibility_delay_ms = 100;
// Posted to the message window by the re-attach worker: write the answer afresh.
inline constexpr std::uint32_t wm_visibility_afresh = win::wm_app + 1;

// Asks for the display's on and off; without that notification the display counts as on.
void start_visibility_report(Platform& os, Hwnd message_window);

// Something the answer depends on may have changed: one timer, armed once, recomputes it, so that
// a burst of window events costs one recomputation.
void mark_visibility_stale(Platform& os);
void on_visibility_timer(Platform& os);

// Computes the answer now and writes it when it differs from the last one written.
void report_visibility_now(Platform& os);

// From the re-attach worker, after it wrote "attached": the next answer is written whatever it is.
void visibility_after_attach(Platform& os);

// WM_POWERBROADCAST with PBT_POWERSETTINGCHANGE; `setting` is the message's lparam.
void on_power_setting(Platform& os, std::int64_t setting);

}  // namespace orvel
