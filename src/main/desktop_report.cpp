#include "main/desktop_report.h"

#include <algorithm>
#include <string>
#include <vector>

#include "attach/discovery.h"
#include "attach/placement.h"
#include "cli/exit_codes.h"
#include "events/event.h"
#include "events/json.h"
#include "platform/text.h"

namespace orvel {
namespace {

constexpr std::string_view helper_version = ORVEL_VERSION;

// What `attach` would choose: the layer found for the area of a monitor, or why there is none.
struct Choice {
  std::string monitor;
  Result<DesktopLayer> layer;
};

// The monitors, each as the system describes it; `areas` gets their device names and areas.
void write_monitors(Platform& os, JsonWriter& json, std::vector<MonitorArea>& areas,
                    std::string& primary) {
  json.begin_array("monitors");
  os.enum_display_monitors([&](Hmonitor monitor) {
    const SysResult<MonitorInfo> info = os.get_monitor_info_w(monitor);
    if (!info) return;
    std::string device = utf8_from_utf16_lossy(info->device);
    json.begin_object().text("device", device);
    write_rect(json, "rect", info->monitor);
    write_rect(json, "work", info->work);
    json.number("dpi", os.get_dpi_for_monitor(monitor).value_or(0))
        .boolean("primary", info->primary)
        .end_object();
    if (info->primary) primary = device;
    areas.push_back({.device = std::move(device), .area = info->monitor});
  });
  json.end_array();
}

// The monitor that `attach` would fit the window to, or the primary one without a window; the
// layer one search finds for it, or, with `spawn`, the whole discovery that asks the shell first.
Choice choose(Platform& os, std::optional<Hwnd> window, bool spawn,
              std::span<const MonitorArea> monitors, const std::string& primary) {
  const Home home = window ? initial_home(os, *window, false) : Home{.device = primary, .area = {}};
  const std::optional<Rect> area = home_area(home, monitors);
  if (spawn) return {.monitor = home.device, .layer = find_desktop_layer(os, area)};
  if (const std::optional<DesktopLayer> layer = search_desktop_layer(os, area)) {
    return {.monitor = home.device, .layer = *layer};
  }
  return {.monitor = home.device,
          .layer = fail(ErrorKind::layer_not_found,
                        "no layer yet: attach would ask Progman to make one (inspect --spawn)")};
}

// Progman, every top-level WorkerW, the taskbar, what Progman holds, and the icons wherever they
// are: each once.
std::vector<Hwnd> shell_windows(Platform& os, Hwnd progman) {
  std::vector<Hwnd> windows{progman};
  const auto add = [&](Hwnd window) {
    if (std::ranges::find(windows, window) == windows.end()) windows.push_back(window);
  };
  os.enum_windows([&](Hwnd window) {
    if (class_is(os, window, u"WorkerW")) add(window);
    return true;
  });
  if (const SysResult<Hwnd> taskbar = os.find_window_a("Shell_TrayWnd")) add(*taskbar);
  os.enum_child_windows(progman, [&](Hwnd window) {
    add(window);
    return true;
  });
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (const SysResult<Hwnd> icons = os.find_window_ex_a(windows[i], 0, "SHELLDLL_DefView")) {
      add(*icons);
    }
  }
  return windows;
}

// Its place among its siblings, 0 on top.
std::int64_t z_order(Platform& os, Hwnd window) {
  std::int64_t above = 0;
  for (SysResult<Hwnd> sibling = os.get_window(window, win::gw_hwndprev); sibling;
       sibling = os.get_window(*sibling, win::gw_hwndprev)) {
    ++above;
  }
  return above;
}

void write_window(Platform& os, JsonWriter& json, Hwnd window, const ShellProcess& shell) {
  ClassName name;
  const std::uint32_t pid = process_of(os, window);
  const std::optional<Hwnd> parent = os.get_ancestor(window, win::ga_parent);
  const auto style = [&](int index) {
    return std::int64_t{
        static_cast<std::uint32_t>(os.get_window_long_ptr_w(window, index).value_or(0))};
  };
  json.begin_object()
      .number("hwnd", window)
      .text("class", utf8_from_utf16_lossy(class_name(os, window, name)))
      .number("parent", parent && *parent != os.get_desktop_window() ? *parent : 0)
      .number("pid", pid)
      .boolean("shellOwned", shell.id != 0 && pid == shell.id)
      .number("style", style(win::gwl_style))
      .number("exStyle", style(win::gwl_exstyle));
  write_rect(json, "rect", os.get_window_rect(window).value_or(Rect{}));
  json.boolean("visible", os.is_window_visible(window))
      .number("z", z_order(os, window))
      .end_object();
}

void write_choice(JsonWriter& json, const Choice& choice) {
  json.begin_object("choice").text("monitor", choice.monitor);
  if (choice.layer) {
    json.number("layer", choice.layer->window)
        .text("mode", attach_mode_text(choice.layer->mode))
        .text("reason", layer_reason_text(choice.layer->reason));
  } else {
    json.text("error", choice.layer.error().message);
  }
  json.end_object();
}

// The members of the "inspected" line.
// Whether the desktop's icons are shown: their list view, or the view that holds it.
bool icons_shown(Platform& os) {
  const DesktopWindows desktop = find_desktop_windows(os, 0);
  if (desktop.icon_view == 0) return false;
  return os.is_window_visible(desktop.icon_list != 0 ? desktop.icon_list : desktop.icon_view);
}

void write_report(Platform& os, JsonWriter& json, std::optional<Hwnd> window, bool spawn) {
  json.text("event", "inspected").text("version", helper_version);
  const SystemVersion system = os.rtl_get_version().value_or(SystemVersion{});
  json.begin_object("system")
      .number("major", system.major)
      .number("minor", system.minor)
      .number("build", system.build)
      .end_object();
  std::vector<MonitorArea> monitors;
  std::string primary;
  write_monitors(os, json, monitors, primary);
  // Chosen before the shell's windows are listed: with `spawn`, the list shows the layer made.
  const Choice choice = choose(os, window, spawn, monitors, primary);
  const ShellProcess shell = find_shell(os);
  json.begin_array("shell");
  for (const Hwnd shell_window : shell_windows(os, shell.progman)) {
    write_window(os, json, shell_window, shell);
  }
  json.end_array();
  json.boolean("iconsShown", icons_shown(os));
  write_choice(json, choice);
  json.number("taskbarPid", taskbar_process_id(os))
      .boolean("composition", os.dwm_is_composition_enabled().value_or(false));
}

}  // namespace

int run_inspect(Platform& os, std::optional<Hwnd> window, bool spawn,
                std::optional<std::uint32_t> wait_shell_ms) {
  if (window && !os.is_window(*window)) {
    emit_error(os,
               {.message = std::string(window_gone_message), .kind = ErrorKind::window_not_found});
    return exit_failure;
  }
  constexpr std::chrono::milliseconds shell_poll{100};
  const std::chrono::microseconds deadline =
      os.monotonic_now() + std::chrono::milliseconds(wait_shell_ms.value_or(0));
  while (!os.find_window_a("Progman") && os.monotonic_now() < deadline) os.sleep(shell_poll);
  if (!os.find_window_a("Progman")) {
    emit_error(os, {.message = "Progman not found", .kind = ErrorKind::shell_not_found});
    return exit_failure;
  }
  emit_line(os, json_line([&](JsonWriter& json) { write_report(os, json, window, spawn); }, 8192));
  return exit_success;
}

}  // namespace orvel
