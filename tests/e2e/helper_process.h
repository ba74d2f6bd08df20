#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace orvel::e2e {

// What the main process sees of one run of the helper.
struct HelperRun {
  std::optional<DWORD> exit_code;  // empty when the helper had to be stopped
  std::string out;
  std::string err;
};

enum class StdoutReader { reading, gone };

// The helper beside this test program, quoted as the head of a command line.
std::wstring quoted_helper_path();

// Starts the helper with exactly `command_line`, program path included, with pipes for its three
// standard streams, and serves this thread's windows until it has ended. With `gone`, the read end
// of its standard output is closed before it starts. When this returns, whatever the helper asked
// of this thread's windows, asynchronous requests included, has been done.
HelperRun run_helper(const std::wstring& command_line, StdoutReader reader = StdoutReader::reading);

// A window handle as the command line takes it and the events write it: signed decimal.
std::string handle_text(HWND window);
std::wstring widen(std::string_view ascii);

}  // namespace orvel::e2e
