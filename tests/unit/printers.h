#pragma once

#include <ostream>

#include "attach/discovery.h"
#include "events/event.h"
#include "platform/platform.h"

// Readable values in test failure messages.
namespace orvel {

inline void PrintTo(const Rect& rect, std::ostream* out) {
  *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

inline void PrintTo(const DesktopLayer& layer, std::ostream* out) {
  *out << "{window " << layer.window << ", " << attach_mode_text(layer.mode) << "}";
}

inline void PrintTo(const HelperError& error, std::ostream* out) {
  *out << "{\"" << error.message << "\"" << (error.kind ? ", with kind" : "") << "}";
}

template <class T>
void PrintTo(const Result<T>& result, std::ostream* out) {
  if (result) {
    PrintTo(*result, out);
  } else {
    PrintTo(result.error(), out);
  }
}

}  // namespace orvel
