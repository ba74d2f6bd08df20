#include "report.h"

#include <algorithm>

namespace wallpaper_check {

nlohmann::ordered_json line_json(std::string_view line) {
  nlohmann::ordered_json parsed =
      nlohmann::ordered_json::parse(line, nullptr, /*allow_exceptions=*/false);
  return parsed.is_discarded() ? nlohmann::ordered_json(line) : parsed;
}

std::string report_line(const std::vector<Named>& checks, const std::vector<std::string>& helper,
                        std::string_view inspected) {
  nlohmann::ordered_json line = {
      {"event", "checked"},
      {"pass", std::ranges::all_of(checks, [](const Named& check) { return check.second.pass; })}};
  nlohmann::ordered_json& results = line["checks"] = nlohmann::ordered_json::object();
  for (const auto& [name, outcome] : checks) {
    nlohmann::ordered_json result = {{"pass", outcome.pass}};
    result.update(outcome.seen);
    if (!outcome.pass) result["why"] = outcome.why;
    results[std::string(name)] = std::move(result);
  }
  nlohmann::ordered_json& lines = line["helper"] = nlohmann::ordered_json::array();
  for (const std::string& helper_line : helper) lines.push_back(line_json(helper_line));
  line["inspected"] = inspected.empty() ? nlohmann::ordered_json() : line_json(inspected);
  return line.dump();
}

}  // namespace wallpaper_check
