#include "attach/attach.h"

#include <optional>

#include "attach/placement.h"
#include "attach/styles.h"

namespace orvel {
namespace {

constexpr std::uint32_t raise_flags =
    win::swp_nosize | win::swp_nomove | win::swp_noactivate | win::swp_asyncwindowpos;

struct Styles {
  std::uint32_t style;
  std::uint32_t ex_style;
};

void write_style(Platform& os, Hwnd window, int index, std::uint32_t style) {
  static_cast<void>(os.set_window_long_ptr_w(window, index, std::int64_t{style}));
}

void restore_styles(Platform& os, Hwnd window, const Styles& styles) {
  write_style(os, window, win::gwl_style, styles.style);
  write_style(os, window, win::gwl_exstyle, styles.ex_style);
}

// Gives the value read; a failure is of `kind`.
Result<std::uint32_t> change_style(Platform& os, Hwnd window, const StyleChange& change,
                                   ErrorKind kind) {
  const SysResult<std::int64_t> read = os.get_window_long_ptr_w(window, change.index);
  if (!read) return std::unexpected(call_failed(os, kind, read.error()));
  const auto style = static_cast<std::uint32_t>(*read);
  const SysResult<std::int64_t> written =
      os.set_window_long_ptr_w(window, change.index, changed_style(change, *read));
  if (!written) return std::unexpected(call_failed(os, kind, written.error()));
  return style;
}

// Both style values changed, or neither: a window whose styles disagree with its parent (a child
// without WS_CHILD, a top-level window with it) is never left behind. Gives the values before.
Result<Styles> change_styles(Platform& os, Hwnd window, const StyleChange& style_change,
                             const StyleChange& ex_style_change, ErrorKind kind) {
  const Result<std::uint32_t> style = change_style(os, window, style_change, kind);
  if (!style) return std::unexpected(style.error());
  const Result<std::uint32_t> ex_style = change_style(os, window, ex_style_change, kind);
  if (!ex_style) {
    write_style(os, window, win::gwl_style, *style);
    return std::unexpected(ex_style.error());
  }
  return Styles{.style = *style, .ex_style = *ex_style};
}

}  // namespace

Result<LayerFound> find_host_layer(Platform& os, Hwnd host, const std::optional<Rect>& area) {
  if (!os.is_window(host)) {
    return fail(ErrorKind::window_not_found, std::string(window_gone_message));
  }
  const Result<DesktopLayer> layer = find_desktop_layer(os, area);
  if (!layer) return std::unexpected(layer.error());
  return LayerFound{.layer = *layer, .area = area};
}

Result<AttachedHost> attach_host_to(Platform& os, Hwnd host, const LayerFound& found) {
  const Result<Styles> before =
      change_styles(os, host, attach_style, attach_ex_style, ErrorKind::attach_failed);
  if (!before) return std::unexpected(before.error());
  if (const SysResult<Hwnd> reparented = os.set_parent(host, found.layer.window); !reparented) {
    // Still top-level: give it back its own styles, so that a failed attach changes nothing.
    restore_styles(os, host, *before);
    return std::unexpected(call_failed(os, ErrorKind::attach_failed, reparented.error()));
  }
  // Attached is attached: a window that could not be fitted is still shown, and `move` can try
  // again.
  AttachedHost attached{.layer = found.layer};
  if (found.area) {
    if (const Result<Fit> fit = fit_host(os, host, *found.area, Shown::show)) {
      attached.fit = *fit;
    }
  }
  static_cast<void>(raise_host(os, host));
  return attached;
}

SysResult<void> raise_host(Platform& os, Hwnd host) {
  return os.set_window_pos(host, win::hwnd_top, 0, 0, 0, 0, raise_flags);
}

Result<void> detach_host(Platform& os, Hwnd host) {
  if (!os.is_window(host)) {
    return fail(ErrorKind::window_not_found, std::string(window_gone_message));
  }
  const SysResult<Hwnd> previous = os.set_parent(host, 0);
  if (!previous) {
    return std::unexpected(
        call_failed(os, ErrorKind::detach_failed, previous.error(), "SetParent(NULL)"));
  }
  if (const Result<Styles> before =
          change_styles(os, host, detach_style, detach_ex_style, ErrorKind::detach_failed);
      !before) {
    // A top-level window with the styles of a child is no use to anyone: it goes back where it
    // was, as it was.
    static_cast<void>(os.set_parent(host, *previous));
    return std::unexpected(before.error());
  }
  // Another program may have put it somewhere in between: given back is top-level.
  if (in_a_parent(os, host)) {
    return fail(ErrorKind::detach_failed, "orvel window is not top-level after SetParent(NULL)");
  }
  return {};
}

bool in_a_parent(Platform& os, Hwnd window) {
  const std::optional<Hwnd> parent = os.get_ancestor(window, win::ga_parent);
  return parent && *parent != os.get_desktop_window();
}

}  // namespace orvel
