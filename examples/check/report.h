// The check's one line: each check's result and what it saw, the helper's lines, and the
// `inspected` line it started from.
#pragma once

#include <windows.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wallpaper_check {

struct Outcome {
  bool pass = false;
  nlohmann::ordered_json seen = nlohmann::ordered_json::object();  // what the check looked at
  std::string why;                                                 // for one that does not hold
};
using Named = std::pair<std::string_view, Outcome>;

// A window as the helper writes it, and a point of the screen.
inline nlohmann::ordered_json handle_json(HWND window) {
  return reinterpret_cast<std::intptr_t>(window);
}
inline nlohmann::ordered_json point_json(POINT point) {
  return {{"x", point.x}, {"y", point.y}};
}

// A line of the helper's, parsed; a line that is no JSON is kept as text.
nlohmann::ordered_json line_json(std::string_view line);

// {"event":"checked","pass":...,"checks":{...},"helper":[...],"inspected":...}, without a line end.
std::string report_line(const std::vector<Named>& checks, const std::vector<std::string>& helper,
                        std::string_view inspected);

}  // namespace wallpaper_check
