// The lines the helper writes, without their line feed, and its usage text, as the unit tests and
// the tests under Wine both expect them. Window handles are signed decimal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvel {

inline std::string event_text(std::string_view name, std::string_view fields = "") {
  return R"({"event":")" + std::string(name) + '"' + std::string(fields) + '}';
}
inline std::string host_line(std::string_view name, std::int64_t host) {
  return event_text(name, ",\"hwnd\":" + std::to_string(host));
}
inline std::string attached_line(std::int64_t host, std::int64_t layer, std::string_view mode) {
  return event_text("attached", ",\"hwnd\":" + std::to_string(host) +
                                    ",\"workerw\":" + std::to_string(layer) + ",\"mode\":\"" +
                                    std::string(mode) + '"');
}
inline std::string error_line(std::string_view message) {
  return event_text("error", R"(,"message":")" + std::string(message) + '"');
}

inline const std::string heartbeat = event_text("heartbeat");
inline const std::string explorer_restarted = event_text("explorer-restarted");
inline const std::string window_gone_error = error_line("orvel window no longer exists");
inline const std::string window_destroyed_error =
    R"({"event":"error","message":"orvel window was destroyed together with the WorkerW; the )"
    R"(main process must rebuild it","kind":"window-destroyed"})";
inline constexpr std::string_view usage_text =
    "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]\n"
    "       orvel-wallpaper-helper move --hwnd <n>\n"
    "       orvel-wallpaper-helper detach --hwnd <n>\n"
    "       orvel-wallpaper-helper refresh\n";

}  // namespace orvel
