#include <algorithm>
#include <utility>

#include "platform/sim/format.h"
#include "platform/sim_desktop.h"

namespace orvel {

using namespace sim;

namespace {

constexpr Hwnd hwnd_bottom = 1;
constexpr std::uint32_t ws_visible = 0x10000000;
constexpr std::uint32_t swp_hidewindow = 0x0080;

// Class names compare without regard to ASCII letter case, as the system's lookups do.
bool same_class(std::u16string_view a, std::string_view b) {
  auto lower = [](char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  return a.size() == b.size() &&
         std::ranges::equal(a, b, {}, lower, [&](char c) { return lower(char32_t(c)); });
}

std::int64_t sign_extend(std::uint32_t style) {
  return static_cast<std::int32_t>(style);
}

std::int64_t overlap_area(const Rect& a, const Rect& b) {
  const std::int64_t width = std::int64_t{std::min(a.right, b.right)} - std::max(a.left, b.left);
  const std::int64_t height = std::int64_t{std::min(a.bottom, b.bottom)} - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

std::int64_t distance(const Rect& a, const Rect& b) {
  const std::int64_t dx =
      std::max<std::int64_t>({0, std::int64_t{b.left} - a.right, std::int64_t{a.left} - b.right});
  const std::int64_t dy =
      std::max<std::int64_t>({0, std::int64_t{b.top} - a.bottom, std::int64_t{a.top} - b.bottom});
  return dx * dx + dy * dy;
}

bool contains(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

}  // namespace

// ---- the model ---------------------------------------------------------------------------------

Hwnd SimDesktop::desktop_window() const {
  return desktop_;
}

Hwnd SimDesktop::create_window(const WindowSpec& desc) {
  const std::lock_guard lock(mutex_);
  return create_locked(desc);
}

void SimDesktop::destroy(Hwnd window) {
  const std::lock_guard lock(mutex_);
  const Window* found = find(window);
  if (found != nullptr) destroy_locked(window, found->state.process_id);
}

void SimDesktop::destroy_after_telling(Hwnd window, std::chrono::microseconds gap) {
  const std::lock_guard lock(mutex_);
  const Window* found = find(window);
  if (found == nullptr) return;
  const std::uint32_t owner = found->state.process_id;
  raise_win_event(win::event_object_destroy, window, owner);
  schedule_locked(
      now_ + gap, [this, window, owner] { destroy_locked(window, owner, true); }, false);
}

void SimDesktop::raise(Hwnd window) {
  const std::lock_guard lock(mutex_);
  const Window* found = find(window);
  if (found == nullptr || window == desktop_) return;
  const Hwnd parent = found->state.parent;
  auto& siblings = windows_.at(parent).children;
  std::erase(siblings, window);
  siblings.insert(siblings.begin(), window);
  raise_win_event(win::event_object_reorder, parent, found->state.process_id);
}

std::optional<SimDesktop::WindowState> SimDesktop::window(Hwnd window) const {
  const std::lock_guard lock(mutex_);
  const Window* found = find(window);
  if (found == nullptr) return std::nullopt;
  WindowState state = found->state;
  state.screen_rect = screen_rect(window);
  return state;
}

std::vector<Hwnd> SimDesktop::children(Hwnd parent) const {
  const std::lock_guard lock(mutex_);
  const Window* found = find(parent == 0 ? desktop_ : parent);
  return found == nullptr ? std::vector<Hwnd>{} : found->children;
}

Hmonitor SimDesktop::add_monitor(Rect monitor, Rect work) {
  const std::lock_guard lock(mutex_);
  const Hmonitor handle = next_monitor_;
  next_monitor_ += 2;
  monitors_.push_back({handle, {.monitor = monitor, .work = work}});
  windows_.at(desktop_).state.rect = virtual_screen();
  return handle;
}

// ---- helpers, with the lock held ----------------------------------------------------------------

SimDesktop::Window* SimDesktop::find(Hwnd window) {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
}

const SimDesktop::Window* SimDesktop::find(Hwnd window) const {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
}

Hwnd SimDesktop::create_locked(const WindowSpec& desc, std::uint32_t thread_id) {
  const Hwnd parent = desc.parent == 0 ? desktop_ : desc.parent;
  const Hwnd handle = next_window_;
  next_window_ += 4;
  windows_[handle] = Window{.state = {.class_name = desc.class_name,
                                      .parent = parent,
                                      .process_id = desc.process_id,
                                      // Another process's windows belong to its one thread.
                                      .thread_id = thread_id != 0 ? thread_id : desc.process_id + 1,
                                      .rect = desc.rect,
                                      .style = desc.style,
                                      .ex_style = desc.ex_style,
                                      .visible = (desc.style & ws_visible) != 0}};
  auto& siblings = windows_.at(parent).children;
  siblings.insert(siblings.begin(), handle);
  return handle;
}

// The parent goes first, then its children, each with its WinEvent raised by whoever destroyed
// it, whatever process the children belong to.
void SimDesktop::destroy_locked(Hwnd window, std::uint32_t actor_process, bool told) {
  Window* found = find(window);
  if (found == nullptr || window == desktop_) return;
  if (!told) raise_win_event(win::event_object_destroy, window, actor_process);
  for (const Hwnd child : std::vector<Hwnd>(found->children)) destroy_locked(child, actor_process);
  unlink(window);
  windows_.erase(window);
  std::erase_if(timers_, [&](const Timer& timer) { return timer.window == window; });
  if (foreground_ == window) foreground_.reset();
  for (Hwnd* shell_window :
       {&shell_.progman, &shell_.defview, &shell_.taskbar, &shell_.icons_workerw, &shell_.layer}) {
    if (*shell_window == window) *shell_window = 0;
  }
}

void SimDesktop::unlink(Hwnd window) {
  Window* parent = find(windows_.at(window).state.parent);
  if (parent != nullptr) std::erase(parent->children, window);
}

void SimDesktop::place_above(Hwnd window, Hwnd sibling) {
  auto& siblings = windows_.at(windows_.at(window).state.parent).children;
  std::erase(siblings, window);
  siblings.insert(std::ranges::find(siblings, sibling), window);
}

void SimDesktop::place_below(Hwnd window, Hwnd sibling) {
  auto& siblings = windows_.at(windows_.at(window).state.parent).children;
  std::erase(siblings, window);
  siblings.insert(std::ranges::find(siblings, sibling) + 1, window);
}

std::optional<Hwnd> SimDesktop::find_child(Hwnd parent, Hwnd child_after,
                                           std::string_view class_name) const {
  const std::vector<Hwnd>& children = windows_.at(parent).children;
  auto from = children.begin();
  if (child_after != 0) from = std::next(std::ranges::find(children, child_after));
  const auto found = std::find_if(from, children.end(), [&](Hwnd w) {
    return same_class(windows_.at(w).state.class_name, class_name);
  });
  if (found == children.end()) return std::nullopt;
  return *found;
}

Point SimDesktop::client_origin(Hwnd window) const {
  Point origin;
  for (Hwnd w = window; w != desktop_;) {
    const WindowState& state = windows_.at(w).state;
    origin.x += state.rect.left;
    origin.y += state.rect.top;
    w = state.parent;
  }
  return origin;
}

Rect SimDesktop::screen_rect(Hwnd window) const {
  if (window == desktop_) return windows_.at(desktop_).state.rect;
  const WindowState& state = windows_.at(window).state;
  const Point origin = client_origin(state.parent);
  return {state.rect.left + origin.x, state.rect.top + origin.y, state.rect.right + origin.x,
          state.rect.bottom + origin.y};
}

void SimDesktop::collect_descendants(Hwnd parent, std::vector<Hwnd>& out) const {
  for (const Hwnd child : windows_.at(parent).children) {
    out.push_back(child);
    collect_descendants(child, out);
  }
}

Rect SimDesktop::virtual_screen() const {
  if (monitors_.empty()) return {};
  Rect screen = monitors_.front().info.monitor;
  for (const Monitor& monitor : monitors_) {
    screen.left = std::min(screen.left, monitor.info.monitor.left);
    screen.top = std::min(screen.top, monitor.info.monitor.top);
    screen.right = std::max(screen.right, monitor.info.monitor.right);
    screen.bottom = std::max(screen.bottom, monitor.info.monitor.bottom);
  }
  return screen;
}

// The deepest visible window under the point, the topmost of each set of siblings first.
std::optional<Hwnd> SimDesktop::topmost_at(Hwnd parent, Point point) const {
  for (const Hwnd child : windows_.at(parent).children) {
    const Window& window = windows_.at(child);
    if (!window.state.visible || !contains(screen_rect(child), point)) continue;
    return topmost_at(child, point).value_or(child);
  }
  return std::nullopt;
}

// ---- Platform: lookup and enumeration ---------------------------------------------------------

bool SimDesktop::is_window(Hwnd window) {
  const Entry call = enter(Call::IsWindow, decimal(window));
  return !call.fault && find(window) != nullptr;
}

SysResult<Hwnd> SimDesktop::find_window_a(std::string_view class_name) {
  const Entry call = enter(Call::FindWindowA, quoted(class_name));
  if (call.fault) return std::unexpected(*call.fault);
  const std::optional<Hwnd> found = find_child(desktop_, 0, class_name);
  if (!found) return std::unexpected(LastError{0});
  return *found;
}

SysResult<Hwnd> SimDesktop::find_window_ex_a(Hwnd parent, Hwnd child_after,
                                             std::string_view class_name) {
  const Entry call =
      enter(Call::FindWindowExA, args(decimal(parent), decimal(child_after), quoted(class_name)));
  if (call.fault) return std::unexpected(*call.fault);
  const Hwnd container = parent == 0 ? desktop_ : parent;
  const Window* found_parent = find(container);
  if (found_parent == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (child_after != 0 &&
      std::ranges::find(found_parent->children, child_after) == found_parent->children.end()) {
    return std::unexpected(error_file_not_found);
  }
  const std::optional<Hwnd> found = find_child(container, child_after, class_name);
  if (!found) return std::unexpected(LastError{0});
  return *found;
}

// Like Windows, FALSE both for a failure and for a visitor that stopped early.
bool SimDesktop::enum_windows(const WindowVisitor& visit) {
  std::vector<Hwnd> snapshot;
  {
    const Entry call = enter(Call::EnumWindows, "");
    if (call.fault) return false;
    snapshot = windows_.at(desktop_).children;
  }
  for (const Hwnd window : snapshot) {
    if (!visit(window)) return false;
  }
  return true;
}

void SimDesktop::enum_child_windows(Hwnd parent, const WindowVisitor& visit) {
  std::vector<Hwnd> snapshot;
  {
    const Entry call = enter(Call::EnumChildWindows, decimal(parent));
    if (call.fault || find(parent) == nullptr) return;
    collect_descendants(parent, snapshot);
  }
  for (const Hwnd window : snapshot) {
    if (!visit(window)) return;
  }
}

SysResult<std::u16string> SimDesktop::get_class_name_w(Hwnd window, int capacity) {
  const Entry call = enter(Call::GetClassNameW, args(decimal(window), decimal(capacity)));
  if (call.fault) return std::unexpected(*call.fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (capacity <= 0) return std::unexpected(error_invalid_parameter);
  // The system truncates to the buffer, leaving room for the terminating zero.
  return found->state.class_name.substr(0, static_cast<std::size_t>(capacity - 1));
}

std::optional<Hwnd> SimDesktop::get_ancestor(Hwnd window, std::uint32_t flags) {
  const Entry call = enter(Call::GetAncestor, args(decimal(window), decimal(flags)));
  const Window* found = find(window);
  if (call.fault || found == nullptr || window == desktop_) return std::nullopt;
  if (flags == win::ga_parent) return found->state.parent;
  if (flags != win::ga_root) return std::nullopt;
  Hwnd root = window;
  while (windows_.at(root).state.parent != desktop_) root = windows_.at(root).state.parent;
  return root;
}

std::optional<Hwnd> SimDesktop::window_from_point(Point point) {
  const Entry call = enter(Call::WindowFromPoint, args(decimal(point.x), decimal(point.y)));
  if (call.fault) return std::nullopt;
  return topmost_at(desktop_, point);
}

std::optional<Hwnd> SimDesktop::get_foreground_window() {
  const Entry call = enter(Call::GetForegroundWindow, "");
  if (call.fault) return std::nullopt;
  return foreground_;
}

SysResult<Hwnd> SimDesktop::get_window(Hwnd window, std::uint32_t command) {
  const Entry call = enter(Call::GetWindow, args(decimal(window), decimal(command)));
  if (call.fault) return std::unexpected(*call.fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (command != win::gw_child) return std::unexpected(error_invalid_parameter);
  if (found->children.empty()) return std::unexpected(LastError{0});
  return found->children.front();
}

SysResult<WindowOwner> SimDesktop::get_window_thread_process_id(Hwnd window) {
  const Entry call = enter(Call::GetWindowThreadProcessId, decimal(window));
  if (call.fault) return std::unexpected(*call.fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  return WindowOwner{.thread_id = found->state.thread_id, .process_id = found->state.process_id};
}

// ---- Platform: styles, positions, painting and monitors ----------------------------------------

SysResult<Rect> SimDesktop::get_window_rect(Hwnd window) {
  const Entry call = enter(Call::GetWindowRect, decimal(window));
  if (call.fault) return std::unexpected(*call.fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  return screen_rect(window);
}

SysResult<Point> SimDesktop::screen_to_client(Hwnd window, Point point) {
  const Entry call =
      enter(Call::ScreenToClient, args(decimal(window), decimal(point.x), decimal(point.y)));
  if (call.fault) return std::unexpected(*call.fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  const Point origin = window == desktop_ ? Point{} : client_origin(window);
  return Point{.x = point.x - origin.x, .y = point.y - origin.y};
}

SysResult<std::int64_t> SimDesktop::get_window_long_ptr_w(Hwnd window, int index) {
  const Entry call = enter(Call::GetWindowLongPtrW, args(decimal(window), decimal(index)));
  if (call.fault) return std::unexpected(*call.fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (index == win::gwl_style) return sign_extend(found->state.style);
  if (index == win::gwl_exstyle) return sign_extend(found->state.ex_style);
  return std::unexpected(error_invalid_index);
}

SysResult<std::int64_t> SimDesktop::set_window_long_ptr_w(Hwnd window, int index,
                                                          std::int64_t value) {
  const Entry call = enter(Call::SetWindowLongPtrW, args(decimal(window), decimal(index),
                                                         hex(static_cast<std::uint64_t>(value))));
  if (call.fault) return std::unexpected(*call.fault);
  Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  std::uint32_t* slot = index == win::gwl_style     ? &found->state.style
                        : index == win::gwl_exstyle ? &found->state.ex_style
                                                    : nullptr;
  if (slot == nullptr) return std::unexpected(error_invalid_index);
  // Styles are 32-bit: the system keeps the low half of what it is given.
  return sign_extend(std::exchange(*slot, static_cast<std::uint32_t>(value)));
}

SysResult<Hwnd> SimDesktop::set_parent(Hwnd child, Hwnd new_parent) {
  const Entry call = enter(Call::SetParent, args(decimal(child), decimal(new_parent)));
  if (call.fault) return std::unexpected(*call.fault);
  const Hwnd parent = new_parent == 0 ? desktop_ : new_parent;
  if (find(child) == nullptr || find(parent) == nullptr || child == desktop_) {
    return std::unexpected(win::error_invalid_window_handle);
  }
  for (Hwnd w = parent; w != 0; w = windows_.at(w).state.parent) {
    if (w == child) return std::unexpected(error_invalid_parameter);
  }
  const Hwnd previous = windows_.at(child).state.parent;
  unlink(child);
  windows_.at(child).state.parent = parent;
  auto& siblings = windows_.at(parent).children;
  siblings.insert(siblings.begin(), child);
  return previous;
}

SysResult<void> SimDesktop::set_window_pos(Hwnd window, Hwnd insert_after, int x, int y, int width,
                                           int height, std::uint32_t flags) {
  const Entry call =
      enter(Call::SetWindowPos, args(decimal(window), decimal(insert_after), decimal(x), decimal(y),
                                     decimal(width), decimal(height), hex(flags)));
  if (call.fault) return std::unexpected(*call.fault);
  Window* found = find(window);
  if (found == nullptr || window == desktop_) {
    return std::unexpected(win::error_invalid_window_handle);
  }
  WindowState& state = found->state;
  if ((flags & win::swp_nomove) == 0) {
    state.rect = {x, y, x + (state.rect.right - state.rect.left),
                  y + (state.rect.bottom - state.rect.top)};
  }
  if ((flags & win::swp_nosize) == 0) {
    state.rect.right = state.rect.left + width;
    state.rect.bottom = state.rect.top + height;
  }
  if ((flags & win::swp_showwindow) != 0) state.visible = true;
  if ((flags & swp_hidewindow) != 0) state.visible = false;
  if ((flags & win::swp_nozorder) == 0) {
    auto& siblings = windows_.at(state.parent).children;
    const bool after_sibling =
        insert_after != window && std::ranges::find(siblings, insert_after) != siblings.end();
    std::erase(siblings, window);
    if (insert_after == hwnd_bottom) {
      siblings.push_back(window);
    } else if (after_sibling) {
      siblings.insert(std::next(std::ranges::find(siblings, insert_after)), window);
    } else {
      siblings.insert(siblings.begin(), window);
    }
    raise_win_event(win::event_object_reorder, state.parent, program_process_id);
  }
  return {};
}

bool SimDesktop::invalidate_rect(Hwnd window, bool erase) {
  const Entry call = enter(Call::InvalidateRect, args(decimal(window), erase ? "true" : "false"));
  return !call.fault && find(window) != nullptr;
}

bool SimDesktop::update_window(Hwnd window) {
  const Entry call = enter(Call::UpdateWindow, decimal(window));
  return !call.fault && find(window) != nullptr;
}

Hmonitor SimDesktop::monitor_from_window(Hwnd window, std::uint32_t flags) {
  const Entry call = enter(Call::MonitorFromWindow, args(decimal(window), decimal(flags)));
  if (call.fault || find(window) == nullptr || monitors_.empty()) return 0;
  const Rect rect = screen_rect(window);
  const auto best = std::ranges::max_element(
      monitors_, {}, [&](const Monitor& m) { return overlap_area(rect, m.info.monitor); });
  if (overlap_area(rect, best->info.monitor) > 0) return best->handle;
  if (flags != win::monitor_defaulttonearest) return flags == 1 ? monitors_.front().handle : 0;
  return std::ranges::min_element(monitors_, {},
                                  [&](const Monitor& m) { return distance(rect, m.info.monitor); })
      ->handle;
}

SysResult<MonitorInfo> SimDesktop::get_monitor_info_w(Hmonitor monitor) {
  const Entry call = enter(Call::GetMonitorInfoW, decimal(monitor));
  if (call.fault) return std::unexpected(*call.fault);
  const auto found = std::ranges::find(monitors_, monitor, &Monitor::handle);
  if (found == monitors_.end()) return std::unexpected(error_invalid_monitor_handle);
  return found->info;
}

}  // namespace orvel
