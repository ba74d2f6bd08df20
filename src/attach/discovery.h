#pragma once

#include <array>
#include <optional>
#include <span>
#include <string_view>

#include "attach/layer.h"
#include "events/event.h"
#include "platform/desktop_windows.h"
#include "platform/platform.h"

namespace orvel {

// A window's class name as the shell's windows are told apart: cut to 31 units, so that a longer
// name is never taken for a shorter one it begins with.
inline constexpr std::size_t class_name_capacity = 32;
using ClassName = std::array<char16_t, class_name_capacity>;
// The class name of `window`, in `buffer`; empty when it cannot be read.
std::u16string_view class_name(Platform& os, Hwnd window, ClassName& buffer);
bool class_is(Platform& os, Hwnd window, std::u16string_view name);
// The direct child of `window` of class SHELLDLL_DefView, the icons' own window; none when `window`
// does not hold the desktop icons.
SysResult<Hwnd> icon_view_in(Platform& os, Hwnd window);
// Whether `window` has a direct child of class SHELLDLL_DefView: it holds the desktop icons.
bool holds_desktop_icons(Platform& os, Hwnd window);

// The process that owns `window`, 0 when that cannot be told.
std::uint32_t process_of(Platform& os, Hwnd window);

// The shell: its Progman, and the process that owns it. A window of one of the shell's classes is
// the shell's only when that process owns it too: any program can make a window of class WorkerW.
struct ShellProcess {
  Hwnd progman = 0;
  std::uint32_t id = 0;  // 0 without a Progman
  bool owns(Platform& os, Hwnd window) const { return id != 0 && process_of(os, window) == id; }
};
ShellProcess find_shell(Platform& os);

// A WorkerW that does not hold the desktop icons, and where it is on the screen: top-level ones
// first, in z-order, then those inside Progman.
struct LayerCandidate {
  DesktopLayer layer;
  Rect rect;
};

// The candidate that covers the most of `monitor` (the area the host window covers), at least four
// fifths of it; on equal cover the earlier one. None when no candidate covers enough: the shell's
// structure must then decide.
std::optional<DesktopLayer> choose_covering_layer(std::span<const LayerCandidate> candidates,
                                                  const Rect& monitor);

// Looks once, then up to `pauses` more times after a pause each, until `look` finds something.
template <class Look, class Pause>
auto look_with_pauses(int pauses, Look&& look, Pause&& pause) -> decltype(look()) {
  for (int paused = 0;; ++paused) {
    if (auto found = look()) return found;
    if (paused == pauses) return std::nullopt;
    pause();
  }
}

inline constexpr int spawn_retries = 10;
inline constexpr int raised_layer_pauses = 10;

// The order and bounds of the search for the layer: one search; when it finds nothing the shell is
// asked once to make the layer (false: there is no Progman to ask), then up to ten more searches
// after a pause each.
template <class Search, class AskShell, class Pause>
Result<DesktopLayer> discover_layer(Search&& search, AskShell&& ask_shell, Pause&& pause) {
  if (const std::optional<DesktopLayer> layer = search()) return *layer;
  if (!ask_shell()) return fail(ErrorKind::shell_not_found, "Progman not found");
  if (const std::optional<DesktopLayer> layer = look_with_pauses(spawn_retries, search, pause)) {
    return *layer;
  }
  return fail(ErrorKind::layer_not_found, "WorkerW not found after spawn");
}

// One look for the desktop layer that covers `area` of the virtual screen: the host window's
// monitor, or all of them; without an area, by the shell's structure alone. Never asks the shell
// for anything, but may wait up to a second for a layer that Progman is about to create.
std::optional<DesktopLayer> search_desktop_layer(Platform& os, const std::optional<Rect>& area);

// Finds the desktop layer, asking the shell once to create it when it is missing.
Result<DesktopLayer> find_desktop_layer(Platform& os, const std::optional<Rect>& area);

// The process id of the shell's taskbar, 0 when there is none: a new one means a new shell.
std::uint32_t taskbar_process_id(Platform& os);

// The shell's windows beside `layer`: Progman, the window that holds the icons, and the icons' own
// windows in it.
DesktopWindows find_desktop_windows(Platform& os, Hwnd layer);

}  // namespace orvel
