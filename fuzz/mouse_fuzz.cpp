#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/state.h"
#include "mouse/forwarding.h"
#include "mouse/translate.h"
#include "unit/mouse/quiet_desktop.h"

namespace {

using namespace std::chrono_literals;

void require(bool condition) {
  if (!condition) std::abort();
}

// Keeps every line written, one write each.
class RecordingDesktop : public orvel::QuietDesktop {
 public:
  std::vector<std::string> lines;
  orvel::SysResult<void> write_stdout(std::string_view utf8) override {
    lines.emplace_back(utf8);
    return {};
  }
};

std::string_view event_name(const std::string& line) {
  const std::size_t start = line.find(":\"") + 2;
  return std::string_view(line).substr(start, line.find('"', start) - start);
}

std::string_view position(const std::string& line) {
  const std::size_t start = line.find(",\"x\"");
  return std::string_view(line).substr(start, line.find(",\"delta") - start);
}

}  // namespace

// Any sequence of raw records, foreground changes, cursor moves, clock steps and timer ticks, three
// bytes a step. Whatever comes, a "mouseup" only follows its "mousedown", no two "mousedown" come
// in a row, no "mousemove" repeats the position of the one before, and every line is whole.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static RecordingDesktop* os = [] {
    auto* desktop = new RecordingDesktop;
    desktop->add_monitor({0, 0, 1920, 1080});
    const auto shell = desktop->start_shell({.layer_exists = true});
    static_cast<void>(
        desktop->register_class_a({.procedure = orvel::monitor_window_proc, .class_name = "W"}));
    orvel::monitor_values().message_window = *desktop->create_window_ex_a({.class_name = "W"});
    require(orvel::start_mouse_forwarding(*desktop, shell.layer).has_value());
    desktop->progman = shell.progman;
    return desktop;
  }();
  orvel::reset_mouse_translation();
  os->lines.clear();
  const orvel::Hwnd window = orvel::monitor_values().message_window;
  for (std::size_t i = 0; i + 2 < size; i += 3) {
    const std::uint8_t op = data[i];
    const auto value = static_cast<std::uint16_t>(data[i + 1] | data[i + 2] << 8);
    switch (op % 6) {
      case 0:
        os->foreground = op & 8 ? os->progman : 0x777;
        os->under_cursor = op & 16 ? os->progman : 0x777;
        os->swapped = op & 32;
        break;
      case 1:
        os->cursor = {value % 64, op >> 6};
        break;
      case 2:
        os->now += std::chrono::microseconds(value);
        break;
      case 3:
        orvel::monitor_window_proc(*os, window, orvel::win::wm_timer, orvel::mouse_timer_id, 0);
        break;
      default:
        orvel::monitor_window_proc(
            *os, window, orvel::win::wm_input, 1,
            os->record({.type = op & 128 ? 1u : 0u, .button_flags = value, .button_data = value}));
    }
  }
  bool down = false;
  std::string last_move;
  for (const std::string& line : os->lines) {
    require(line.starts_with(R"({"event":"mouse)") && line.ends_with("}\n") &&
            line.find('\n') == line.size() - 1);
    const std::string_view name = event_name(line);
    if (name == "mousedown") {
      require(!down);
      down = true;
    } else if (name == "mouseup") {
      require(down);
      down = false;
    } else if (name == "mousemove") {
      require(position(line) != last_move);
      last_move = position(line);
    }
  }
  return 0;
}
