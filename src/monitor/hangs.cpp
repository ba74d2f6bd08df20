#include "monitor/hangs.h"

namespace orvel {
namespace {

// The window's thread answers a probe, leaves it unanswered, or there is no such window (a shell
// between two of its processes, a host window destroyed).
Probe probe(Platform& os, Hwnd window) {
  if (window == 0) return Probe::gone;
  const SysResult<void> answered =
      os.send_message_timeout_w(window, win::wm_null, 0, 0, win::smto_normal,
                                static_cast<std::uint32_t>(probe_limit.count()));
  if (answered) return Probe::answered;
  return answered.error().code == hresult_from_last_error(win::error_timeout) ? Probe::unanswered
                                                                              : Probe::gone;
}

void watch(Platform& os, SharedState& shared, WaitedWindow which) {
  HangReport report;
  while (!shared.closing()) {
    const Hwnd window = which == WaitedWindow::shell ? os.find_window_a("Progman").value_or(0)
                                                     : shared.read(&MonitorState::host);
    const Probe probed = probe(os, window);
    if (const std::optional<bool> responsive = report.after(probed)) {
      static_cast<void>(shared.emit_unless_closing(
          os, Event::Responsiveness{.hwnd = window, .window = which, .responsive = *responsive}));
    }
    // An unanswered probe waited its whole limit already; the next one finds the answer at once.
    if (probed != Probe::unanswered) os.sleep(probe_spacing);
  }
}

}  // namespace

void start_hang_probes(Platform& os, const std::shared_ptr<SharedState>& shared) {
  for (const WaitedWindow which : {WaitedWindow::shell, WaitedWindow::host}) {
    // Without its thread a window is not watched; nothing else changes.
    static_cast<void>(os.start_thread([&os, shared, which] { watch(os, *shared, which); }));
  }
}

}  // namespace orvel
