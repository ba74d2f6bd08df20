// The check's one line: each check's result and what it saw, the helper's lines, and the
// `inspected` line it started from.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wallpaper_check {

// Members of a JSON object, `"name":value,...`, in the order written.
class Members {
 public:
  Members& number(std::string_view name, long long value);
  Members& boolean(std::string_view name, bool value);
  Members& window(std::string_view name, HWND window);
  Members& text(std::string_view name, std::string_view value);
  Members& point(std::string_view name, POINT point);
  const std::string& json() const { return json_; }
  std::string braced() const;  // as an object

 private:
  Members& name(std::string_view name);
  std::string json_;
};

struct Outcome {
  bool pass = false;
  Members seen;     // what the check looked at
  std::string why;  // for one that does not hold
};
using Named = std::pair<std::string_view, Outcome>;

// {"event":"checked","pass":...,"checks":{...},"helper":[...],"inspected":...}, without a line end.
std::string report_line(const std::vector<Named>& checks, const std::vector<std::string>& helper,
                        std::string_view inspected);

}  // namespace wallpaper_check
