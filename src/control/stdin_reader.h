#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace orvel {

// The lines of the control channel as they come in, in pieces of any size. Tells when the channel
// must close: at a line that is "detach" once its white space is trimmed, or at a line that is not
// UTF-8. Any other line, however long, is dropped once it is whole.
class ControlLines {
 public:
  // Takes the next bytes of input; true when the channel closes at a line among them.
  bool take(std::string_view bytes);

 private:
  std::string pending_;  // the line begun and not yet ended
};

// A console gives UTF-16: turns each read into UTF-8 for ControlLines, keeping a surrogate pair
// that a read cut in two. Empty when the input ends (a read of nothing, or a Ctrl+Z that ends it)
// or cannot be text (an unpaired surrogate).
class ConsoleText {
 public:
  bool take(std::u16string_view units, std::string& utf8);

 private:
  std::u16string pending_;  // a high surrogate waiting for its pair
};

// Starts the thread that reads standard input, detached. On the line "detach", at the end of the
// input or on a read that fails, it posts WM_CLOSE to `window` once, and ends. False when the
// thread cannot be started.
bool start_stdin_reader(Platform& os, Hwnd window);

}  // namespace orvel
