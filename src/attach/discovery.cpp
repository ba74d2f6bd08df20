#include "attach/discovery.h"

#include <algorithm>
#include <vector>

namespace orvel {
namespace {

using namespace std::chrono_literals;

constexpr auto pause = 100ms;

// The shell's "create the desktop layer" request to Progman.
constexpr std::uint32_t spawn_message = 0x052C;
constexpr std::uint64_t spawn_wparam = 0x000D;
constexpr std::int64_t spawn_lparam = 0x0001;
constexpr std::uint32_t spawn_timeout_ms = 1000;

}  // namespace

std::u16string_view class_name(Platform& os, Hwnd window, ClassName& buffer) {
  const SysResult<std::size_t> length = os.get_class_name_w(window, buffer);
  return length ? std::u16string_view(buffer.data(), *length) : std::u16string_view();
}

bool class_is(Platform& os, Hwnd window, std::u16string_view name) {
  ClassName buffer;
  return class_name(os, window, buffer) == name;
}

SysResult<Hwnd> icon_view_in(Platform& os, Hwnd window) {
  return os.find_window_ex_a(window, 0, "SHELLDLL_DefView");
}

bool holds_desktop_icons(Platform& os, Hwnd window) {
  return icon_view_in(os, window).has_value();
}

std::uint32_t process_of(Platform& os, Hwnd window) {
  const SysResult<WindowOwner> owner = os.get_window_thread_process_id(window);
  return owner ? owner->process_id : 0;
}

ShellProcess find_shell(Platform& os) {
  const SysResult<Hwnd> progman = os.find_window_a("Progman");
  if (!progman) return {};
  return {.progman = *progman, .id = process_of(os, *progman)};
}

namespace {

// A WorkerW of the shell's that does not hold the desktop icons.
bool is_layer_candidate(Platform& os, const ShellProcess& shell, Hwnd window) {
  return class_is(os, window, u"WorkerW") && shell.owns(os, window) &&
         !holds_desktop_icons(os, window);
}

// The first WorkerW of the shell's after `after` among `parent`'s children, or among the top-level
// windows for a `parent` of 0, in z-order.
std::optional<Hwnd> next_shell_workerw(Platform& os, const ShellProcess& shell, Hwnd parent,
                                       Hwnd after) {
  for (SysResult<Hwnd> next = os.find_window_ex_a(parent, after, "WorkerW"); next;
       next = os.find_window_ex_a(parent, *next, "WorkerW")) {
    if (shell.owns(os, *next)) return *next;
  }
  return std::nullopt;
}

// 10·O ≥ 8·A exactly, rearranged as O ≥ A − ⌊A/5⌋ so that no product can overflow.
bool covers_four_fifths(std::uint64_t overlap, std::uint64_t area) {
  return overlap >= area - area / 5;
}

std::uint64_t positive_area(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
}

// Stage 1: the WorkerW that covers the most of the monitor.
std::optional<DesktopLayer> search_covering(Platform& os, const ShellProcess& shell,
                                            const Rect& monitor) {
  std::vector<LayerCandidate> candidates;
  const auto collect = [&](AttachMode mode) {
    return [&, mode](Hwnd window) {
      if (!is_layer_candidate(os, shell, window)) return true;
      if (const SysResult<Rect> rect = os.get_window_rect(window)) {
        candidates.push_back({.layer = {window, mode}, .rect = *rect});
      }
      return true;
    };
  };
  os.enum_windows(collect(AttachMode::classic));
  if (shell.progman != 0) os.enum_child_windows(shell.progman, collect(AttachMode::raised));
  return choose_covering_layer(candidates, monitor);
}

// Stage 2: the shell's structure alone. The WorkerW after the window that holds the icons, or
// a WorkerW inside a Progman that holds them, which may still be on its way.
std::optional<DesktopLayer> search_by_structure(Platform& os, const ShellProcess& shell) {
  std::optional<DesktopLayer> found;
  os.enum_windows([&](Hwnd window) {
    if (!holds_desktop_icons(os, window) || !shell.owns(os, window)) return true;
    if (const std::optional<Hwnd> next = next_shell_workerw(os, shell, 0, window)) {
      found = DesktopLayer{*next, AttachMode::classic, LayerReason::after_icons};
      return false;
    }
    return true;
  });
  if (found) return found;

  if (shell.progman == 0 || !holds_desktop_icons(os, shell.progman)) return std::nullopt;
  return look_with_pauses(
      raised_layer_pauses,
      [&]() -> std::optional<DesktopLayer> {
        const std::optional<Hwnd> layer = next_shell_workerw(os, shell, shell.progman, 0);
        return layer ? std::optional(
                           DesktopLayer{*layer, AttachMode::raised, LayerReason::inside_progman})
                     : std::nullopt;
      },
      [&] { os.sleep(pause); });
}

}  // namespace

std::optional<DesktopLayer> choose_covering_layer(std::span<const LayerCandidate> candidates,
                                                  const Rect& monitor) {
  const std::uint64_t area = positive_area(std::int64_t{monitor.right} - monitor.left,
                                           std::int64_t{monitor.bottom} - monitor.top);
  std::optional<DesktopLayer> best;
  std::uint64_t best_overlap = 0;
  for (const auto& [layer, rect] : candidates) {
    const std::uint64_t overlap = positive_area(
        std::int64_t{std::min(rect.right, monitor.right)} - std::max(rect.left, monitor.left),
        std::int64_t{std::min(rect.bottom, monitor.bottom)} - std::max(rect.top, monitor.top));
    if (covers_four_fifths(overlap, area) && (!best || overlap > best_overlap)) {
      best = layer;
      best_overlap = overlap;
    }
  }
  return best;
}

std::optional<DesktopLayer> search_desktop_layer(Platform& os, const std::optional<Rect>& area) {
  const ShellProcess shell = find_shell(os);
  if (area) {
    if (std::optional<DesktopLayer> layer = search_covering(os, shell, *area)) return layer;
  }
  return search_by_structure(os, shell);
}

std::uint32_t taskbar_process_id(Platform& os) {
  const SysResult<Hwnd> taskbar = os.find_window_a("Shell_TrayWnd");
  return taskbar ? process_of(os, *taskbar) : 0;
}

DesktopWindows find_desktop_windows(Platform& os, Hwnd layer) {
  const ShellProcess shell = find_shell(os);
  DesktopWindows desktop{.layer = layer, .progman = shell.progman};
  // Whether `window` holds the icons: it is then the desktop's, with the icons' own windows.
  const auto take_icons = [&](Hwnd window) {
    const SysResult<Hwnd> view = icon_view_in(os, window);
    if (!view) return false;
    desktop.icons = window;
    desktop.icon_view = *view;
    desktop.icon_list = os.find_window_ex_a(*view, 0, "SysListView32").value_or(0);
    return true;
  };
  if (desktop.progman != 0 && take_icons(desktop.progman)) return desktop;
  for (std::optional<Hwnd> workerw = next_shell_workerw(os, shell, 0, 0); workerw;
       workerw = next_shell_workerw(os, shell, 0, *workerw)) {
    if (take_icons(*workerw)) break;
  }
  return desktop;
}

Result<DesktopLayer> find_desktop_layer(Platform& os, const std::optional<Rect>& area) {
  return discover_layer([&] { return search_desktop_layer(os, area); },
                        [&] {
                          const SysResult<Hwnd> progman = os.find_window_a("Progman");
                          if (!progman) return false;
                          // A shell that is slow or deaf to the request is no error: the
                          // searches tell.
                          static_cast<void>(os.send_message_timeout_w(
                              *progman, spawn_message, spawn_wparam, spawn_lparam, win::smto_normal,
                              spawn_timeout_ms));
                          return true;
                        },
                        [&] { os.sleep(pause); });
}

}  // namespace orvel
