// Checks, on the user's own desktop, what a user would look for when the wallpaper does not show:
//
//   orvel-wallpaper-check [--helper <path>] [--restart-shell] [--draw-through-parent]
//
// It makes a window of a colour of its own, keeps the line of the helper's `inspect --spawn --hwnd`
// for it, has the helper `attach` it, and checks:
//   inLayer        the window is a child of the layer that `inspect` named
//   belowIcons     it lies behind the desktop icons' window (SHELLDLL_DefView)
//   colourShows    its colour shows on the screen (one pixel captured) at a point of the desktop
//                  that no other window covers and that did not show it before; where an icon
//                  is, the icon shows instead
//   shellRestart   with --restart-shell: the shell is ended and started again, and the window is
//                  attached again within 5 s of the new taskbar's coming
//   givenBack      after "detach", the helper wrote "detached" and the window is top-level again
//   wallpaperBack  the window hidden, that point no longer shows its colour: the static wallpaper
//                  is drawn again
// It writes one JSON line with each check's result, the helper's lines and the `inspected` line,
// and exits with 0 when every check holds, 1 when one does not, and 2 for a wrong command line.
//
// --helper               the helper's path; by default the one beside this program
// --restart-shell        ends the process of the taskbar (explorer.exe) and starts it again
// --draw-through-parent  for Wine alone: paints the window's colour through the window that holds
//                        it, as Wine 8 shows nothing that a child of another program's window
//                        paints itself
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "colour_window.h"
#include "desktop.h"
#include "helper_process.h"
#include "report.h"

namespace {

using namespace wallpaper_check;

constexpr ULONGLONG answer_ms = 30'000;      // a helper's first line: finding a layer takes time
constexpr ULONGLONG colour_ms = 5'000;       // for the colour to show, or to go
constexpr ULONGLONG steady_ms = 500;         // for the order of windows to hold
constexpr ULONGLONG shell_back_ms = 30'000;  // for a restarted shell's taskbar
constexpr ULONGLONG reattach_ms = 5'000;     // for the window to be attached again after that

struct Options {
  std::wstring helper;
  bool restart_shell = false;
  bool draw_through_parent = false;
};

bool is_event(std::string_view line, std::string_view name) {
  return line.starts_with(R"({"event":")" + std::string(name) + '"');
}

// The layer that an `inspected` line names as choice.layer; null when it names none.
HWND layer_named(const std::string& inspected) {
  const nlohmann::ordered_json line = line_json(inspected);
  const nlohmann::ordered_json* layer =
      line.is_object() && line.contains("choice") ? &line["choice"] : nullptr;
  if (!layer || !layer->is_object() || !layer->contains("layer")) return nullptr;
  const nlohmann::ordered_json& handle = (*layer)["layer"];
  if (!handle.is_number_integer()) return nullptr;
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(handle.get<long long>()));
}

Outcome failing(std::string why) {
  return {.why = std::move(why)};
}

// The check's window and the helper that attaches it, and every line the helpers wrote.
class Run {
 public:
  explicit Run(Options options) : options_(std::move(options)) {}

  HWND window() const { return window_ ? window_->handle() : nullptr; }
  const std::vector<std::string>& lines() const { return lines_; }

  // A new window of the colour; empty, or why not.
  std::string make_window() {
    helper_.reset();
    window_ = std::make_unique<ColourWindow>(options_.draw_through_parent);
    return window_->error();
  }
  // What the screen shows once the window is given back is the desktop's, not the window's own.
  void hide_window() {
    if (window_) window_->hide();
  }
  // The helper's one line for the window, or why there is none.
  std::string inspect() {
    HelperProcess inspect(options_.helper, for_window(L"inspect --spawn"));
    if (!inspect.start_error().empty()) return inspect.start_error();
    return inspect.next_line(after_ms(answer_ms)).value_or("");
  }
  // Starts a helper that attaches the window: its first line, or why there is none.
  std::string attach() {
    helper_ = std::make_unique<HelperProcess>(options_.helper, for_window(L"attach"));
    if (!helper_->start_error().empty()) return helper_->start_error();
    return next(after_ms(answer_ms)).value_or("no line from the helper");
  }
  // The helper's next line but heartbeats.
  std::optional<std::string> next(ULONGLONG deadline) {
    for (;;) {
      std::optional<std::string> line = helper_ ? helper_->next_line(deadline) : std::nullopt;
      if (!line || !is_event(*line, "heartbeat")) {
        if (line) lines_.push_back(*line);
        return line;
      }
    }
  }
  // Writes "detach" and reads the helper to its end: whether it wrote "detached", and its exit.
  std::pair<bool, std::optional<DWORD>> detach() {
    if (!helper_) return {false, std::nullopt};
    helper_->write("detach\n");
    bool detached = false;
    while (const std::optional<std::string> line = next(after_ms(answer_ms)))
      detached |= is_event(*line, "detached");
    return {detached, helper_->wait(after_ms(answer_ms))};
  }

 private:
  std::wstring for_window(std::wstring_view command) const {
    return std::wstring(command) + L" --hwnd " +
           std::to_wstring(reinterpret_cast<std::intptr_t>(window()));
  }

  Options options_;
  std::unique_ptr<ColourWindow> window_;
  std::unique_ptr<HelperProcess> helper_;
  std::vector<std::string> lines_;
};

Outcome in_layer(HWND window, HWND layer) {
  const HWND parent = GetAncestor(window, GA_PARENT);
  Outcome outcome{.pass = layer && parent == layer};
  outcome.seen = {{"parent", handle_json(parent)}, {"layer", handle_json(layer)}};
  if (!layer) outcome.why = "inspect names no layer";
  if (layer && !outcome.pass) outcome.why = "the window's parent is not the layer inspect names";
  return outcome;
}

// A shell may restack its windows for a moment as the window comes in, and while it puts them
// back: this holds once it has held for a while without a break.
Outcome below_icons(HWND window) {
  Shell shell;
  ULONGLONG since = 0;
  const bool behind = serve_until(after_ms(colour_ms), [&] {
    shell = find_shell();
    const ULONGLONG now = GetTickCount64();
    if (!shell.icons || !lies_behind(window, shell.icons)) {
      since = 0;
      return false;
    }
    if (!since) since = now;
    return now - since >= steady_ms;
  });
  Outcome outcome{.pass = behind};
  outcome.seen["icons"] = handle_json(shell.icons);
  if (!shell.icons) outcome.why = "the shell has no SHELLDLL_DefView";
  if (shell.icons && !outcome.pass) outcome.why = "the window lies in front of the icons' window";
  return outcome;
}

// The first of `points` that shows the colour within the time, and where that was.
Outcome colour_shows(const std::vector<POINT>& points, std::optional<POINT>& shown) {
  serve_until(after_ms(colour_ms), [&] {
    const Shell shell = find_shell();
    for (const POINT point : points) {
      if (desktop_at(shell, point) && looks_like(screen_pixel(point), window_colour)) {
        shown = point;
        return true;
      }
    }
    return false;
  });
  Outcome outcome{.pass = shown.has_value()};
  outcome.seen = {{"colour", colour_text(window_colour)}, {"points", points.size()}};
  if (shown) outcome.seen["at"] = point_json(*shown);
  if (points.empty()) outcome.why = "other windows cover the desktop's every point looked at";
  if (!points.empty() && !shown) outcome.why = "no point of the desktop shows the window's colour";
  return outcome;
}

// The shell ended and started again: the same helper attaches the window again, or a new window
// and helper must.
Outcome shell_restart(Run& run) {
  const std::expected<DWORD, std::string> ended = restart_shell();
  if (!ended) return failing(ended.error());
  if (!serve_until(after_ms(shell_back_ms), [&] { return visible_taskbar(*ended) != nullptr; }))
    return failing("no taskbar came back within 30 s");
  const ULONGLONG back = GetTickCount64(), deadline = back + reattach_ms;
  bool attached = false;
  serve_until(deadline, [&] {
    while (const std::optional<std::string> line = run.next(0))
      attached |= is_event(*line, "attached");
    return attached || !IsWindow(run.window());
  });
  // The window went with the old shell's layer, as it does on Windows: a main process makes a new
  // one, with a new helper, once the shell is back.
  const bool rebuilt = !attached && !IsWindow(run.window());
  if (rebuilt) {
    run.detach();
    if (std::string why = run.make_window(); !why.empty()) return failing(why);
    serve_until(deadline, [] { return find_shell().progman != nullptr; });
    attached = is_event(run.attach(), "attached");
  }
  // Ending a helper and starting a new one may outlast the deadline of the reads between.
  const ULONGLONG ms = GetTickCount64() - back;
  Outcome outcome{.pass = attached && ms <= reattach_ms};
  outcome.seen = {{"processEnded", *ended}, {"rebuilt", rebuilt}, {"ms", ms}};
  if (!outcome.pass)
    outcome.why = "the window was not attached again within 5 s of the new taskbar";
  return outcome;
}

Outcome given_back(HWND window, bool detached, std::optional<DWORD> exit_code) {
  const bool top_level = IsWindow(window) && GetAncestor(window, GA_PARENT) == GetDesktopWindow() &&
                         !(GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD);
  Outcome outcome{.pass = detached && top_level};
  outcome.seen["exitCode"] =
      exit_code ? nlohmann::ordered_json(*exit_code) : nlohmann::ordered_json();
  if (!detached) outcome.why = "the helper wrote no detached";
  if (detached && !top_level) outcome.why = "the window is not top-level";
  return outcome;
}

Outcome wallpaper_back(const std::optional<POINT>& shown) {
  if (!shown) return failing("the window's colour never showed, so it cannot be seen to go");
  COLORREF seen = CLR_INVALID;
  const bool gone = serve_until(after_ms(colour_ms), [&] {
    seen = screen_pixel(*shown);
    return !looks_like(seen, window_colour);
  });
  Outcome outcome{.pass = gone};
  outcome.seen = {{"at", point_json(*shown)}, {"seen", colour_text(seen)}};
  if (!gone) outcome.why = "the point still shows the window's colour";
  return outcome;
}

int check(const Options& options) {
  Run run(options);
  std::vector<Named> checks;
  const auto all_fail = [&](const std::string& why) {
    for (const char* name : {"inLayer", "belowIcons", "colourShows"})
      checks.emplace_back(name, failing(why));
  };
  std::string inspected;
  std::optional<POINT> shown;
  bool attached = false;
  if (std::string why = run.make_window(); !why.empty()) {
    all_fail(why);
  } else {
    inspected = run.inspect();
    std::vector<POINT> points = desktop_points(find_shell());
    // A point that shows the colour before the window is there proves nothing.
    std::erase_if(points,
                  [](POINT point) { return looks_like(screen_pixel(point), window_colour); });
    const std::string first = run.attach();
    attached = is_event(first, "attached");
    if (attached) {
      checks.emplace_back("inLayer", in_layer(run.window(), layer_named(inspected)));
      checks.emplace_back("belowIcons", below_icons(run.window()));
      checks.emplace_back("colourShows", colour_shows(points, shown));
    } else {
      all_fail("the helper did not attach the window: " + first);
    }
  }
  if (options.restart_shell)
    checks.emplace_back("shellRestart", attached ? shell_restart(run)
                                                 : failing("the helper did not attach the window"));
  const auto [detached, exit_code] = run.detach();
  checks.emplace_back("givenBack", given_back(run.window(), detached, exit_code));
  run.hide_window();
  checks.emplace_back("wallpaperBack", wallpaper_back(shown));

  const std::string line = report_line(checks, run.lines(), inspected) + '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  return std::ranges::all_of(checks, [](const Named& named) { return named.second.pass; }) ? 0 : 1;
}

std::wstring helper_beside_us() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.erase(path.find_last_of(L'\\') + 1) + L"orvel-wallpaper-helper.exe";
}

int usage(const char* error) {
  std::fprintf(stderr,
               "usage: orvel-wallpaper-check [--helper <path>] [--restart-shell] "
               "[--draw-through-parent]\nerror: %s\n",
               error);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options{.helper = helper_beside_us()};
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view option = argv[i];
    if (option == L"--restart-shell") {
      options.restart_shell = true;
    } else if (option == L"--draw-through-parent") {
      options.draw_through_parent = true;
    } else if (option == L"--helper") {
      if (++i == argc) return usage("--helper needs a path");
      options.helper = argv[i];
    } else {
      return usage("unknown option");
    }
  }
  // Physical pixels on the primary monitor, where the window is, as the helper fits it.
  SetProcessDPIAware();
  return check(options);
}
