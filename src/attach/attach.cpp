#include "attach/attach.h"

#include <optional>

#include "attach/placement.h"

namespace orvel {
namespace {

constexpr std::uint32_t raise_flags =
    win::swp_nosize | win::swp_nomove | win::swp_noactivate | win::swp_asyncwindowpos;

struct StyleChange {
  int index;
  std::uint32_t keep;  // bits that survive
  std::uint32_t set;   // bits then set
};

constexpr StyleChange attach_style{win::gwl_style, ~win::ws_clipsiblings, win::ws_child};
constexpr StyleChange attach_ex_style{
    win::gwl_exstyle, ~(win::ws_ex_appwindow | win::ws_ex_windowedge | win::ws_ex_acceptfiles), 0};
constexpr StyleChange detach_style{win::gwl_style, ~win::ws_child, win::ws_popup};
constexpr StyleChange detach_ex_style{win::gwl_exstyle, ~0u,
                                      win::ws_ex_appwindow | win::ws_ex_windowedge};

void write_style(Platform& os, Hwnd window, int index, std::uint32_t style) {
  static_cast<void>(os.set_window_long_ptr_w(window, index, std::int64_t{style}));
}

// Styles are 32-bit values: only the low half of what is read takes part, and the value written
// has an empty upper half. Gives the value read; a value that cannot be read is left alone, since
// writing a change of nothing would wipe every other bit of the window's style.
std::optional<std::uint32_t> change_style(Platform& os, Hwnd window, const StyleChange& change) {
  const SysResult<std::int64_t> read = os.get_window_long_ptr_w(window, change.index);
  if (!read) return std::nullopt;
  const auto style = static_cast<std::uint32_t>(*read);
  write_style(os, window, change.index, (style & change.keep) | change.set);
  return style;
}

}  // namespace

Result<DesktopLayer> attach_host(Platform& os, Hwnd host) {
  if (!os.is_window(host)) return fail("orvel window no longer exists");
  const Hmonitor monitor = os.monitor_from_window(host, win::monitor_defaulttonearest);
  const Result<DesktopLayer> layer = find_desktop_layer(os, monitor);
  if (!layer) return std::unexpected(layer.error());

  const std::optional<std::uint32_t> style = change_style(os, host, attach_style);
  const std::optional<std::uint32_t> ex_style = change_style(os, host, attach_ex_style);
  if (const SysResult<Hwnd> reparented = os.set_parent(host, layer->window); !reparented) {
    // Still top-level: give it back its own styles, so that a failed attach changes nothing.
    if (style) write_style(os, host, win::gwl_style, *style);
    if (ex_style) write_style(os, host, win::gwl_exstyle, *ex_style);
    return fail("SetParent failed: " + system_error_text(os, reparented.error()));
  }
  fit_host_to_monitor(os, host, monitor);
  static_cast<void>(os.set_window_pos(host, win::hwnd_top, 0, 0, 0, 0, raise_flags));
  return *layer;
}

Result<void> detach_host(Platform& os, Hwnd host) {
  if (!os.is_window(host)) return fail("orvel window no longer exists");
  if (const SysResult<Hwnd> reparented = os.set_parent(host, 0); !reparented) {
    return fail("SetParent(NULL) failed: " + system_error_text(os, reparented.error()));
  }
  change_style(os, host, detach_style);
  change_style(os, host, detach_ex_style);
  return {};
}

}  // namespace orvel
