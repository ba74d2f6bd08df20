// What the tests under Wine and the soak expect: the helper's lines for windows of this process,
// and window boxes that compare and print in failure messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "event_lines.h"
#include "wine_desktop/desktop.h"

inline bool operator==(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b);
}
inline std::ostream& operator<<(std::ostream& out, const RECT& box) {
  return out << "(" << box.left << ", " << box.top << ")-(" << box.right << ", " << box.bottom
             << ")";
}

namespace orvel::e2e {

inline std::string attached_line(HWND host, HWND layer, desktop::Layout layout) {
  return orvel::attached_line(reinterpret_cast<std::intptr_t>(host),
                              reinterpret_cast<std::intptr_t>(layer),
                              layout == desktop::Layout::classic ? "classic" : "raised");
}

inline std::string host_event(const char* name, HWND host) {
  return host_line(name, reinterpret_cast<std::intptr_t>(host));
}

}  // namespace orvel::e2e
