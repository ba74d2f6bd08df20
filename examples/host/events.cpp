#include "events.h"

#include <nlohmann/json.hpp>

namespace host_example {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Attached, hwnd, workerw, mode)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Detached, hwnd)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(MouseDown, x, y)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(MouseWheel, deltaX, deltaY)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Visibility, hwnd, visible)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Power, source, saver)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(HelperError, message, kind)

std::optional<Event> parse_event(std::string_view line) {
  const nlohmann::json json = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return std::nullopt;
  try {
    const auto name = json.at("event").get<std::string>();
    if (name == "attached") return json.get<Attached>();
    if (name == "detached") return json.get<Detached>();
    if (name == "mousedown") return json.get<MouseDown>();
    if (name == "mousewheel") return json.get<MouseWheel>();
    if (name == "visibility") return json.get<Visibility>();
    if (name == "power") return json.get<Power>();
    if (name == "error") return json.get<HelperError>();
    return OtherEvent{name};
  } catch (const nlohmann::json::exception&) {
    // A member missing or of the wrong type: not a line we understand.
    return std::nullopt;
  }
}

}  // namespace host_example
