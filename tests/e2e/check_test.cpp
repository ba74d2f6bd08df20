// The check program that users run on their own desktop, played against the stand-in shell: every
// check holds where the wallpaper shows behind the icons, and the right one fails where it does
// not.
#include <nlohmann/json.hpp>

#include "e2e/session.h"

namespace orvel::e2e {
namespace {

// In the order written.
using json = nlohmann::ordered_json;

struct Checked {
  json line;
  std::optional<DWORD> exit_code;
  std::string errors;
};

// The check's line, parsed. The check runs against the stand-in shell, whose taskbar lives in a
// process of its own, so that the check can end it and start it again.
Checked run_check(const std::wstring& arguments) {
  Process check(L"orvel-wallpaper-check.exe", arguments);
  const std::optional<std::string> line = check.read_line(60'000);
  Checked checked{.exit_code = check.wait(), .errors = check.errors()};
  checked.line = json::parse(line.value_or(""), nullptr, /*allow_exceptions=*/false);
  EXPECT_TRUE(checked.line.is_object()) << line.value_or("no line");
  if (!checked.line.is_object()) checked.line = json::object();
  return checked;
}

// The checks in the line that do not hold, in its order.
std::vector<std::string> failing(const json& line) {
  std::vector<std::string> names;
  const json checks = line.value("checks", json::object());
  for (const auto& [name, result] : checks.items()) {
    if (result.value("pass", false) != true) names.push_back(name);
  }
  return names;
}

std::vector<std::string> events(const json& line) {
  std::vector<std::string> names;
  const json lines = line.value("helper", json::array());
  for (const json& helper_line : lines) names.push_back(helper_line.value("event", ""));
  return names;
}

// The check ends the shell and starts it again: where only the taskbar's process restarts, the
// layer and the window in it live on, and the helper attaches the window again; where the whole
// shell does, as explorer.exe on Windows, the window goes with the layer, and the check makes a new
// one with a new helper.
TEST(Check, EveryCheckHoldsWhereTheWallpaperShowsBehindTheIcons) {
  const struct {
    Layout layout;
    bool whole_shell;
  } cases[] = {{Layout::classic, false}, {Layout::raised, false}, {Layout::classic, true}};
  for (const auto& [layout, whole_shell] : cases) {
    SCOPED_TRACE(std::string(layout == Layout::classic ? "classic" : "raised") +
                 (whole_shell ? ", whole shell" : ""));
    Shell shell(layout, {.painted = true});
    if (!whole_shell) shell.restart_taskbar();
    const HWND layer = shell.layer();
    const auto [line, code, errors] = run_check(L"--draw-through-parent --restart-shell");
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(line.value("pass", false), true);
    EXPECT_EQ(failing(line), std::vector<std::string>()) << line.dump();
    EXPECT_EQ(line["checks"].size(), 6u);
    EXPECT_EQ(line["inspected"]["choice"]["layer"], reinterpret_cast<std::intptr_t>(layer));
    EXPECT_EQ(line["checks"]["shellRestart"]["rebuilt"], whole_shell);
    if (!whole_shell) {
      EXPECT_EQ(line["checks"]["inLayer"]["parent"], reinterpret_cast<std::intptr_t>(layer));
      EXPECT_EQ(events(line), (std::vector<std::string>{"attached", "explorer-restarted",
                                                        "attached", "detached"}));
      continue;
    }
    // The shell the check started again, in place of the one it ended.
    DWORD restarted = 0;
    GetWindowThreadProcessId(FindWindowW(L"Progman", nullptr), &restarted);
    const Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, restarted));
    ASSERT_TRUE(process && TerminateProcess(process.get(), 0));
    WaitForSingleObject(process.get(), 5'000);
  }
  EXPECT_EQ(Process(L"orvel-wallpaper-check.exe", L"--helper").wait(), 2u);
}

// A shell whose layer lies in front of the icons; a helper that cannot attach the window, or
// cannot attach it again after a restart; and, under Wine, a window that is not painted through
// the layer, which shows nothing.
TEST(Check, TheCheckThatDoesNotHoldFailsAndSaysWhy) {
  const std::wstring faulty =
      L" --helper \"" + beside_this_program(L"orvel_helper_faults.exe") + L"\"";
  const struct {
    const char* what;
    ShellOptions shell;
    std::wstring arguments;
    const char* faults;
    std::vector<std::string> failing;
  } cases[] = {
      {"layer over the icons",
       {.layer_over_icons = true, .painted = true},
       L"--draw-through-parent",
       nullptr,
       {"belowIcons"}},
      {"no attach",
       {.painted = true},
       L"--draw-through-parent" + faulty,
       "SetParent(host,WorkerW):5",
       {"inLayer", "belowIcons", "colourShows", "givenBack", "wallpaperBack"}},
      {"no re-attach",
       {.painted = true},
       L"--draw-through-parent --restart-shell" + faulty,
       "SetParent(host,WorkerW,worker):5",
       {"shellRestart"}},
      {"nothing shown", {.painted = true}, L"", nullptr, {"colourShows", "wallpaperBack"}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    Shell shell(Layout::classic, row.shell);
    shell.restart_taskbar();
    SetEnvironmentVariableA("ORVEL_FAULTS", row.faults);
    const auto [line, code, errors] = run_check(row.arguments);
    SetEnvironmentVariableA("ORVEL_FAULTS", nullptr);
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(failing(line), row.failing) << line.dump();
    for (const std::string& name : row.failing)
      EXPECT_FALSE(line["checks"][name].value("why", "").empty()) << name;
  }
}

}  // namespace
}  // namespace orvel::e2e
