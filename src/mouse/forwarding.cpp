#include "mouse/forwarding.h"

#include <array>
#include <atomic>
#include <limits>

#include "mouse/translate.h"

namespace orvel {
namespace {

constexpr std::uint16_t usage_page_generic = 0x01;
constexpr std::uint16_t usage_mouse = 0x02;
constexpr std::int64_t clock_not_fixed = std::numeric_limits<std::int64_t>::min();

// The mouse path's process-wide state, kept here only because the window procedure and the
// re-attach worker leave no other way in.
struct MouseForwarding {
  // Rewritten by the re-attach worker while the main thread reads them: each is read and written
  // whole, without a lock.
  std::atomic<Hwnd> layer{0};
  std::atomic<Hwnd> icons_workerw{0};
  // The origin of mouse time, fixed once for the process by whichever thread comes first.
  std::atomic<std::int64_t> clock_origin{clock_not_fixed};
  // Only the main thread, in the window procedure, feeds it.
  MouseTranslator translator;
};

MouseForwarding& forwarding() {
  static MouseForwarding state;
  return state;
}

std::chrono::microseconds fix_mouse_clock(Platform& os) {
  std::atomic<std::int64_t>& clock = forwarding().clock_origin;
  std::int64_t origin = clock.load();
  if (origin == clock_not_fixed) {
    const std::int64_t now = os.monotonic_now().count();
    origin = clock.compare_exchange_strong(origin, now) ? now : origin;
  }
  return std::chrono::microseconds(origin);
}

// The top-level WorkerW that holds the icons; none when they live in Progman itself.
Hwnd find_icons_workerw(Platform& os) {
  const SysResult<Hwnd> progman = os.find_window_a("Progman");
  if (!progman || os.find_window_ex_a(*progman, 0, "SHELLDLL_DefView")) return 0;
  for (SysResult<Hwnd> workerw = os.find_window_ex_a(0, 0, "WorkerW"); workerw;
       workerw = os.find_window_ex_a(0, *workerw, "WorkerW")) {
    if (os.find_window_ex_a(*workerw, 0, "SHELLDLL_DefView")) return *workerw;
  }
  return 0;
}

// The facts of the real desktop, each asked of Windows when the translator needs it.
class DesktopFacts final : public MouseFacts {
 public:
  explicit DesktopFacts(Platform& os) : os_(os) {}

  bool buttons_swapped() override { return os_.get_system_metrics(win::sm_swapbutton) != 0; }
  bool desktop_is_foreground() override {
    const std::optional<Hwnd> foreground = os_.get_foreground_window();
    return foreground && is_desktop_window(*foreground, desktop());
  }
  std::optional<Point> cursor() override {
    const SysResult<Point> at = os_.get_cursor_pos();
    return at ? std::optional(*at) : std::nullopt;
  }
  bool over_desktop(Point point) override {
    const std::optional<Hwnd> under = os_.window_from_point(point);
    if (!under) return false;
    const std::optional<Hwnd> top_level = os_.get_ancestor(*under, win::ga_root);
    return top_level && is_desktop_window(*top_level, desktop());
  }
  std::uint64_t now_micros() override {
    const std::chrono::microseconds origin = fix_mouse_clock(os_);
    const std::chrono::microseconds now = os_.monotonic_now();
    return now > origin ? static_cast<std::uint64_t>((now - origin).count()) : 0;
  }

 private:
  // Progman is looked up at every test, so a new shell's Progman counts at once.
  DesktopWindowSet desktop() {
    const SysResult<Hwnd> progman = os_.find_window_a("Progman");
    return {.layer = forwarding().layer.load(std::memory_order_relaxed),
            .icons_workerw = forwarding().icons_workerw.load(std::memory_order_relaxed),
            .progman = progman.value_or(0)};
  }

  Platform& os_;
};

void emit_mouse(Platform& os, const MouseEvent& event) {
  std::array<char, mouse_line_capacity> buffer;
  const std::optional<WheelDeltas> deltas =
      event.kind == MouseEventKind::wheel
          ? std::optional(WheelDeltas{.x = event.delta_x, .y = event.delta_y})
          : std::nullopt;
  emit_line(os, mouse_line(buffer, mouse_event_name(event.kind), event.at.x, event.at.y, deltas));
}

}  // namespace

// Everything before the registration runs at every call, so the desktop windows stay current even
// when a later step fails. Neither the registration nor the timer is ever undone: both end with the
// message window.
Result<void> start_mouse_forwarding(Platform& os, Hwnd message_window, Hwnd workerw) {
  static_cast<void>(
      os.set_thread_dpi_awareness_context(win::dpi_awareness_context_per_monitor_aware_v2));
  fix_mouse_clock(os);
  forwarding().layer.store(workerw, std::memory_order_relaxed);
  forwarding().icons_workerw.store(find_icons_workerw(os), std::memory_order_relaxed);

  if (message_window == 0) return fail("message window not created");
  const std::array devices = {RawInputDevice{.usage_page = usage_page_generic,
                                             .usage = usage_mouse,
                                             .flags = win::ridev_inputsink,
                                             .target = message_window}};
  if (const SysResult<void> registered = os.register_raw_input_devices(devices); !registered) {
    return fail("RegisterRawInputDevices failed: " + system_error_text(os, registered.error()));
  }
  if (!os.set_timer(message_window, mouse_timer_id, mouse_timer_period_ms)) {
    return fail("SetTimer(mouse move) failed");
  }
  return {};
}

void on_raw_input(Platform& os, std::int64_t raw_input) {
  const SysResult<RawInputRecord> record = os.get_raw_input_data(raw_input);
  if (!record) return;
  DesktopFacts facts(os);
  for (const MouseEvent& event : forwarding().translator.on_record(*record, facts)) {
    emit_mouse(os, event);
  }
}

void flush_mouse_move(Platform& os) {
  DesktopFacts facts(os);
  if (const std::optional<MouseEvent> move = forwarding().translator.on_tick(facts)) {
    emit_mouse(os, *move);
  }
}

}  // namespace orvel
