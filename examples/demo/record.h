// What the demo records of the session: the example's standard output (the helper's lines) and a
// picture of each step.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demo/screenshot.h"
#include "wine_desktop/desktop.h"

namespace orvel::demo {

// The example's standard output, echoed as it comes, counted by event, and kept for the step they
// came in.
class Lines {
 public:
  explicit Lines(desktop::Process& example) : example_(example) {}

  // Takes lines until one of event `name` comes; that line, or none if it did not come in time.
  std::optional<std::string> await(std::string_view name);
  // Takes whatever comes for `ms`.
  void pass(DWORD ms);
  // The lines taken since the last call.
  std::vector<std::string> take_recent() { return std::exchange(recent_, {}); }
  // Each event seen, with its count, in the order first seen.
  std::string summary() const;

 private:
  std::optional<std::string> take(DWORD timeout_ms);

  desktop::Process& example_;
  std::vector<std::pair<std::string, int>> seen_;
  std::vector<std::string> recent_;
};

// One picture per step of the session, with its caption and the lines that came with it, as
// <directory>/<n>-<name>.bmp and <n>-<name>.txt (the caption, then the lines).
class Album {
 public:
  Album(std::string directory, Lines& lines) : directory_(std::move(directory)), lines_(lines) {}

  // Ends the step before, if any, and starts one: the lines that come from now on are its.
  void step(std::string name, std::string caption);
  // The screen now, saved as the current step's picture.
  Screenshot shoot();
  // Ends the last step; whether every file was written.
  bool close();

 private:
  std::string path(std::string_view extension) const;

  std::string directory_;
  Lines& lines_;
  int number_ = 0;
  std::string name_;
  std::string caption_;
  bool written_ = true;
};

}  // namespace orvel::demo
