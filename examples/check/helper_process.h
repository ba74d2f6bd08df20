// One run of orvel-wallpaper-helper.exe, with pipes for its standard input and output. Every wait
// here serves this thread's windows: the helper's calls on the check's window wait for them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "system.h"

namespace wallpaper_check {

class HelperProcess {
 public:
  HelperProcess(const std::wstring& program, const std::wstring& arguments);
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  // Closes its input, which ends it in order, and waits for it; one that does not end is stopped.
  ~HelperProcess();

  // Why it could not be started; empty when it was.
  const std::string& start_error() const { return start_error_; }
  // Its next line of output, without the line end; none if none came before the deadline, or its
  // output has ended.
  std::optional<std::string> next_line(ULONGLONG deadline);
  void write(std::string_view text);
  // Its exit code, if it ended before the deadline.
  std::optional<DWORD> wait(ULONGLONG deadline);

 private:
  // Appends what its output holds now; false once it has ended and all of it has been taken.
  bool take_output();

  Handle process_, input_, output_;
  std::string pending_;
  std::string start_error_;
};

}  // namespace wallpaper_check
