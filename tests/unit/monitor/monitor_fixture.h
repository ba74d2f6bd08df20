#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "event_lines.h"
#include "main/entry.h"
#include "monitor/state.h"
#include "platform/sim_desktop.h"

namespace orvel {

using namespace std::chrono_literals;

// The host window's styles as its application made them: a visible popup with a caption that clips
// its siblings; an app window with an edge that accepts files.
constexpr std::uint32_t host_style = 0x96CF0000;
constexpr std::uint32_t host_ex_style = 0x00040110;

// An attach monitor run on a one-monitor desktop with a shell whose layer exists, for a host
// window of another process, the process-wide state as at process start.
struct AttachRun {
  explicit AttachRun(SimDesktop::ShellLayout layout = SimDesktop::ShellLayout::classic)
      : shell(os.start_shell({.layout = layout, .layer_exists = true})) {
    reset_monitor_process_state();
  }
  int run(std::string options = "") {
    const std::string line = "helper.exe attach --hwnd " + h() + options;
    os.set_command_line(std::u16string(line.begin(), line.end()));
    return run_program(os);
  }
  // The event lines, each after the virtual time in milliseconds at which it was written.
  std::vector<std::string> timed_lines() const {
    std::vector<std::string> lines;
    for (const SimDesktop::OutputLine& line : os.stdout_lines()) {
      lines.push_back(std::to_string(line.at / 1ms) + " " + line.text);
    }
    return lines;
  }
  // Whether the call log holds these calls in this order, whatever comes between them.
  bool called_in_order(std::initializer_list<std::string> wanted) const {
    const std::vector<std::string> calls = os.calls();
    auto from = calls.begin();
    for (const std::string& call : wanted) {
      from = std::find(from, calls.end(), call);
      if (from++ == calls.end()) return false;
    }
    return true;
  }
  std::string h() const { return std::to_string(host); }
  std::string attached(Hwnd layer, std::string_view mode = "classic") const {
    return attached_line(host, layer, mode);
  }
  std::string hwnd_event(std::string_view name) const { return host_line(name, host); }
  std::string detached() const { return hwnd_event("detached"); }

  SimDesktop os;
  Hmonitor monitor = os.add_monitor({0, 0, 1920, 1080});
  SimDesktop::ShellWindows shell;
  Hwnd host = os.create_window({.class_name = u"OrvelHost",
                                .process_id = 42,
                                .rect = {100, 100, 900, 700},
                                .style = host_style,
                                .ex_style = host_ex_style});
};

class MonitorRun : public testing::Test, public AttachRun {};

}  // namespace orvel
