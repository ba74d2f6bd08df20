#include <cstddef>
#include <cstdint>

#include "mouse/translate.h"
#include "require.h"
#include "unit/mouse/quiet_desktop.h"

// Any sequence of raw records, foreground changes, cursor moves, clock steps and timer ticks, three
// bytes a step. Whatever comes, a "mouseup" only follows its "mousedown", no two "mousedown" come
// in a row, no "mousemove" repeats the position of the one before, and every line is whole.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static orvel::QuietDesktop* os = [] {
    auto* desktop = new orvel::QuietDesktop;
    require(desktop->start_forwarding());
    desktop->keep_lines = true;
    return desktop;
  }();
  orvel::reset_mouse_translation();
  os->lines.clear();
  for (std::size_t i = 0; i + 2 < size; i += 3) {
    const std::uint8_t op = data[i];
    const auto value = static_cast<std::uint16_t>(data[i + 1] | data[i + 2] << 8);
    if (op % 6 == 0) {
      os->foreground = op & 8 ? os->progman : 0x777;
      os->under_cursor = op & 16 ? os->progman : 0x777;
      os->swapped = op & 32;
    } else if (op % 6 == 1) {
      os->cursor = {value % 64, op >> 6};
    } else if (op % 6 == 2) {
      os->now += std::chrono::microseconds(value);
    } else if (op % 6 == 3) {
      os->tick();
    } else {
      os->input({.type = op & 128 ? 1u : 0u, .button_flags = value, .button_data = value});
    }
  }
  bool down = false;
  std::string last_move;  // a move line holds nothing but the position
  for (const std::string& line : os->lines) {
    require(line.starts_with(R"({"event":"mouse)") && line.find('\n') == line.size() - 1 &&
            line.ends_with("}\n"));
    const std::string event = line.substr(15, line.find('"', 15) - 15);
    require(event == "down" ? !down : event != "up" || down);
    if (event == "down" || event == "up") down = event == "down";
    require(event != "move" || line != last_move);
    if (event == "move") last_move = line;
  }
  return 0;
}
