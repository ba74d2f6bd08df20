#include "report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace wallpaper_check {
namespace {

std::string quoted(std::string_view text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      json += escape;
    } else {
      json += c;
    }
  }
  return json + '"';
}

// A line of the helper's as it is: one JSON object. Anything else it might write goes in as text.
std::string json_value(std::string_view line) {
  if (line.empty()) return "null";
  return line.starts_with('{') && line.ends_with('}') ? std::string(line) : quoted(line);
}

}  // namespace

Members& Members::name(std::string_view name) {
  if (!json_.empty()) json_ += ',';
  json_ += quoted(name) + ':';
  return *this;
}

Members& Members::number(std::string_view name, long long value) {
  this->name(name).json_ += std::to_string(value);
  return *this;
}

Members& Members::boolean(std::string_view name, bool value) {
  this->name(name).json_ += value ? "true" : "false";
  return *this;
}

Members& Members::window(std::string_view name, HWND window) {
  return number(name, reinterpret_cast<std::intptr_t>(window));
}

Members& Members::text(std::string_view name, std::string_view value) {
  this->name(name).json_ += quoted(value);
  return *this;
}

Members& Members::point(std::string_view name, POINT point) {
  this->name(name).json_ += Members().number("x", point.x).number("y", point.y).braced();
  return *this;
}

std::string Members::braced() const {
  return '{' + json_ + '}';
}

std::string report_line(const std::vector<Named>& checks, const std::vector<std::string>& helper,
                        std::string_view inspected) {
  const bool all =
      std::ranges::all_of(checks, [](const Named& check) { return check.second.pass; });
  std::string line =
      R"({"event":"checked","pass":)" + std::string(all ? "true" : "false") + R"(,"checks":{)";
  for (const auto& [name, outcome] : checks) {
    std::string members = R"("pass":)" + std::string(outcome.pass ? "true" : "false");
    if (!outcome.seen.json().empty()) members += ',' + outcome.seen.json();
    if (!outcome.pass) members += R"(,"why":)" + quoted(outcome.why);
    line += (line.back() == '{' ? "" : ",") + quoted(name) + ":{" + members + '}';
  }
  line += R"(},"helper":[)";
  for (std::size_t i = 0; i < helper.size(); ++i) line += (i ? "," : "") + json_value(helper[i]);
  return line + R"(],"inspected":)" + json_value(inspected) + '}';
}

}  // namespace wallpaper_check
