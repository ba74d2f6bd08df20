#include "mouse/forwarding.h"

#include <array>

namespace orvel {
namespace {

constexpr std::uint16_t usage_page_generic = 0x01;
constexpr std::uint16_t usage_mouse = 0x02;

void emit_mouse(Platform& os, const MouseEvent& event) {
  std::array<char, mouse_line_capacity> buffer;
  const std::optional<WheelDeltas> deltas =
      event.kind == MouseEventKind::wheel
          ? std::optional(WheelDeltas{.x = event.delta_x, .y = event.delta_y})
          : std::nullopt;
  emit_line(os, mouse_line(buffer, mouse_event_name(event.kind), event.at.x, event.at.y, deltas));
}

}  // namespace

// The facts of the real desktop, each asked of Windows when the translator needs it.
class MouseForwarding::Facts final : public MouseFacts {
 public:
  explicit Facts(MouseForwarding& forwarding) : os_(forwarding.os_), forwarding_(forwarding) {}

  bool buttons_swapped() override { return os_.get_system_metrics(win::sm_swapbutton) != 0; }
  bool desktop_is_foreground() override {
    const std::optional<Hwnd> foreground = os_.get_foreground_window();
    return foreground && is_desktop_window(*foreground, forwarding_.desktop_);
  }
  std::optional<Point> cursor() override {
    const SysResult<Point> at = os_.get_cursor_pos();
    return at ? std::optional(*at) : std::nullopt;
  }
  bool over_desktop(Point point) override {
    const std::optional<Hwnd> under = os_.window_from_point(point);
    if (!under) return false;
    // The window under the cursor is most often the icons' own, which needs no further question.
    if (is_known_desktop_part(*under, forwarding_.desktop_)) return true;
    const std::optional<Hwnd> top_level = os_.get_ancestor(*under, win::ga_root);
    return top_level && is_desktop_window(*top_level, forwarding_.desktop_);
  }
  std::uint64_t now_micros() override {
    const std::chrono::microseconds now = os_.monotonic_now();
    const std::chrono::microseconds origin = forwarding_.clock_origin_;
    return now > origin ? static_cast<std::uint64_t>((now - origin).count()) : 0;
  }

 private:
  Platform& os_;
  MouseForwarding& forwarding_;
};

MouseForwarding::MouseForwarding(Platform& os, const DesktopWindows& desktop, std::uint64_t timer)
    : os_(os), desktop_(desktop), timer_(timer), clock_origin_(os.monotonic_now()) {}

Result<void> MouseForwarding::start(Hwnd message_window) {
  // Positions in physical pixels on every monitor, even where the process could not be made so.
  static_cast<void>(
      os_.set_thread_dpi_awareness_context(win::dpi_awareness_context_per_monitor_aware_v2));
  const std::array devices = {RawInputDevice{.usage_page = usage_page_generic,
                                             .usage = usage_mouse,
                                             .flags = win::ridev_inputsink,
                                             .target = message_window}};
  if (const SysResult<void> registered = os_.register_raw_input_devices(devices); !registered) {
    return std::unexpected(call_failed(os_, ErrorKind::start_failed, registered.error()));
  }
  if (const SysResult<std::uint64_t> timer =
          os_.set_timer(message_window, timer_, mouse_timer_period_ms);
      !timer) {
    return std::unexpected(
        call_failed(os_, ErrorKind::start_failed, timer.error(), "SetTimer(mouse move)"));
  }
  return {};
}

void MouseForwarding::on_raw_input(std::int64_t raw_input) {
  const SysResult<RawInputRecord> record = os_.get_raw_input_data(raw_input);
  if (!record) return;
  Facts facts(*this);
  for (const MouseEvent& event : translator_.on_record(*record, facts)) emit_mouse(os_, event);
}

void MouseForwarding::on_tick() {
  Facts facts(*this);
  if (const std::optional<MouseEvent> move = translator_.on_tick(facts)) emit_mouse(os_, *move);
}

}  // namespace orvel
