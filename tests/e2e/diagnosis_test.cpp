// What a user sends when the helper does not work on their machine: `inspect`, the desktop as the
// helper sees it, and the trace of a running attach, read as JSON.
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

using nlohmann::json;

std::intptr_t number(HWND window) {
  return reinterpret_cast<std::intptr_t>(window);
}

// `inspect` with `arguments`: its one line, parsed, and its exit code.
std::pair<json, DWORD> inspect(const std::wstring& arguments = L"") {
  Process helper = start_helper(L"inspect" + arguments);
  const std::optional<std::string> line = helper.read_line();
  const std::optional<DWORD> code = helper.wait();
  EXPECT_EQ(helper.unread_output(), "");
  return {json::parse(line.value_or("null")), code.value_or(99)};
}

const json* shell_window(const json& line, HWND window) {
  for (const json& described : line.at("shell")) {
    if (described["hwnd"] == number(window)) return &described;
  }
  ADD_FAILURE() << "not listed: " << window;
  return nullptr;
}

// Both layouts on two monitors: the monitors, the stand-in's windows with their classes, parents
// and owner, and the layer that attach would choose, for the primary monitor and for a window on
// the second one.
TEST(Inspect, ShowsTheShellsWindowsAndTheLayerAttachWouldChoose) {
  for (const Layout layout : {Layout::classic, Layout::raised}) {
    const bool raised = layout == Layout::raised;
    SCOPED_TRACE(raised ? "raised" : "classic");
    Shell shell(layout);
    auto [line, code] = inspect();
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(line["event"], "inspected");
    EXPECT_EQ(line["version"], ORVEL_VERSION);
    EXPECT_EQ(line["monitors"].size(), 2u);
    const json& second = line["monitors"][1];
    EXPECT_EQ(second["device"], R"(\\.\DISPLAY2)");
    EXPECT_EQ(second["rect"],
              (json{{"left", 1920}, {"top", 0}, {"right", 3840}, {"bottom", 1080}}));
    EXPECT_EQ(std::pair(second["dpi"], second["primary"]), std::pair(json(96), json(false)));

    const HWND progman = FindWindowW(L"Progman", nullptr);
    const HWND icons = raised ? progman : icons_workerw();
    const struct {
      HWND window;
      const char* class_name;
      HWND parent;
    } expected[] = {
        {progman, "Progman", nullptr},
        {icons, raised ? "Progman" : "WorkerW", nullptr},
        {shell.layer(), "WorkerW", raised ? progman : nullptr},
        {FindWindowExW(icons, nullptr, L"SHELLDLL_DefView", nullptr), "SHELLDLL_DefView", icons},
        {FindWindowW(L"Shell_TrayWnd", nullptr), "Shell_TrayWnd", nullptr}};
    const json* progman_line = shell_window(line, progman);
    for (const auto& window : expected) {
      const json* described = shell_window(line, window.window);
      if (!described || !progman_line) continue;
      EXPECT_EQ((*described)["class"], window.class_name);
      EXPECT_EQ((*described)["parent"], number(window.parent));
      EXPECT_EQ((*described)["pid"], (*progman_line)["pid"]);
      EXPECT_EQ((*described)["shellOwned"], true);
      EXPECT_EQ((*described)["visible"], true);
    }
    EXPECT_EQ(line["iconsShown"], true);
    EXPECT_EQ(line["taskbarPid"], (*progman_line)["pid"]);
    EXPECT_EQ(line["choice"]["layer"], number(shell.layer()));
    EXPECT_EQ(line["choice"]["mode"], raised ? "raised" : "classic");
    EXPECT_EQ(line["choice"]["monitor"], R"(\\.\DISPLAY1)");
    EXPECT_FALSE(line["choice"].value("reason", std::string()).empty());

    const Window host = create_window(WS_POPUP, {2020, 80, 2660, 560});
    EXPECT_EQ(inspect(L" --hwnd " + widen(handle_text(host.get()))).first["choice"]["monitor"],
              R"(\\.\DISPLAY2)");
  }
  // After a taskbar restart, the taskbar is another process's, and says so.
  Shell shell(Layout::classic);
  shell.restart_taskbar();
  const json after_restart = inspect().first;
  const json* taskbar = shell_window(after_restart, FindWindowW(L"Shell_TrayWnd", nullptr));
  ASSERT_NE(taskbar, nullptr);
  EXPECT_EQ((*taskbar)["shellOwned"], false);
}

// A shell that makes its layer only when asked: none without --spawn, which then shows it; no
// Progman at all is an error.
TEST(Inspect, SpawnShowsTheLayerTheShellMadeAndNoProgmanIsAnError) {
  {
    Shell shell(Layout::classic, {.layer_on_request = true});
    auto [before, code] = inspect();
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(before["choice"].contains("error"));
    auto [after, spawned] = inspect(L" --spawn");
    EXPECT_EQ(spawned, 0u);
    shell.update();
    EXPECT_EQ(after["choice"]["layer"], number(shell.layer()));
    EXPECT_NE(shell_window(after, shell.layer()), nullptr);
  }
  Process helper = start_helper(L"inspect");
  EXPECT_EQ(helper.wait(), 1u);
  EXPECT_EQ(helper.unread_output(), error("shell-not-found", "Progman not found") + "\n");
}

// A failed call that the helper ignores, forced, is in the trace with its name and code; standard
// output is the same, byte for byte, with the trace, without it, and with one that cannot be
// written.
TEST(Trace, HoldsWhatFailedQuietlyAndChangesNothingElse) {
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP, {100, 80, 740, 560});
  const std::string path = temp_file("orvel_trace.log");
  std::vector<std::vector<std::string>> outputs;
  for (const std::string& trace :
       {std::string(), " --trace " + path, std::string(" --trace Z:\\no\\such\\folder\\t.log")}) {
    Session session(shell, host.get(), widen(trace), "SetWindowPos(host,0x4054):5");
    EXPECT_EQ(session.close(), 0u);
    outputs.push_back(session.lines);
  }
  EXPECT_EQ(outputs[0], outputs[1]);
  EXPECT_EQ(outputs[0], outputs[2]);
  std::ifstream file(path);
  std::vector<json> notes;
  for (std::string line; std::getline(file, line);) notes.push_back(json::parse(line));
  const auto has = [&](const json& wanted) {
    return std::ranges::any_of(notes, [&](const json& note) {
      return std::ranges::all_of(wanted.items(), [&](const auto& item) {
        return note.contains(item.key()) && note[item.key()] == item.value();
      });
    });
  };
  EXPECT_TRUE(has({{"what", "failed"}, {"call", "SetWindowPos"}, {"code", "0x80070005"}}));
  EXPECT_TRUE(has({{"what", "attached"}, {"layer", number(shell.layer())}, {"mode", "classic"}}));
  EXPECT_TRUE(std::ranges::all_of(
      notes, [](const json& note) { return note.contains("ms") && note.at("ms").is_number(); }));
}

}  // namespace
}  // namespace orvel::e2e
