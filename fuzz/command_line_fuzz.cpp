#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "main/entry.h"
#include "monitor/state.h"
#include "platform/sim_desktop.h"
#include "require.h"

// The input, read as UTF-16 code units (two bytes each, little-endian), is the whole command line
// of a run on a desktop with a shell and a host window. Whatever it holds, the program ends with
// one of its three codes, speaks on exactly one of its two channels, writes whole event lines,
// and never loses the host window.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string line;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    line.push_back(char16_t(data[i] | data[i + 1] << 8));
  // Each input is a process of its own: an attach reads no input and closes at once.
  orvel::reset_monitor_process_state();
  orvel::SimDesktop os;
  os.end_stdin();
  os.add_monitor({0, 0, 1920, 1080});
  const auto& shell = os.start_shell({.layer_exists = true});
  // Handle 65588, which the seeds name.
  const orvel::Hwnd host = os.create_window({.class_name = u"Host", .process_id = 9});
  os.set_command_line(std::move(line));

  const int code = orvel::run_program(os);
  const std::string out = os.stdout_text();
  const std::string err = os.stderr_text();
  require(code >= 0 && code <= 2);
  require(code == 2 ? out.empty() && err.starts_with("usage: ") && err.ends_with('\n')
                    : err.empty() && (out.empty() || out.ends_with('\n')));
  for (const orvel::SimDesktop::OutputLine& event : os.stdout_lines()) {
    require(event.text.starts_with(R"({"event":")") && event.text.ends_with('}') &&
            std::ranges::none_of(event.text, [](unsigned char c) { return c < 0x20; }));
  }
  const auto state = os.window(host);
  require(state && (state->parent == os.desktop_window() || state->parent == shell.layer));
  return 0;
}
