#include "platform/sim_desktop.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <initializer_list>
#include <utility>

#include "platform/text.h"

namespace orvel {
namespace {

constexpr Hmodule program_module = 0x400000;
constexpr Hmodule ntdll_module = 0x7FF800000000;
constexpr LastError error_file_not_found = 2;
constexpr LastError error_invalid_parameter = 87;
constexpr LastError error_mod_not_found = 126;
constexpr LastError error_mr_mid_not_found = 317;
constexpr LastError error_invalid_index = 1413;
constexpr LastError error_invalid_monitor_handle = 1461;
constexpr Hwnd hwnd_bottom = 1;
constexpr std::uint32_t swp_hidewindow = 0x0080;
constexpr std::uint32_t ga_root = 2;
constexpr std::uint64_t spawn_wparam = 0x000D;
constexpr std::int64_t spawn_lparam = 0x0001;

std::string decimal(std::int64_t value) {
  char digits[24];
  return {digits, std::to_chars(digits, digits + sizeof digits, value).ptr};
}

std::string hex(std::uint64_t value) {
  char digits[24];
  std::string text = "0x";
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value, 16).ptr);
  std::ranges::transform(text.begin() + 2, text.end(), text.begin() + 2,
                         [](char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string call(std::string_view name, std::initializer_list<std::string> arguments) {
  std::string entry(name);
  entry += '(';
  bool first = true;
  for (const std::string& argument : arguments) {
    if (!first) entry += ", ";
    entry += argument;
    first = false;
  }
  entry += ')';
  return entry;
}

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

}  // namespace

SimDesktop::SimDesktop() {
  desktop_ = next_window_;
  next_window_ += 0x10;
  windows_[desktop_] = Window{.state = {.class_name = u"#32769", .parent = 0, .visible = true}};
  system_messages_ = {
      {0x00000000, u"The operation completed successfully.\r\n"},
      {0x80070005, u"Access is denied.\r\n"},
      {0x80070578, u"Invalid window handle.\r\n"},
      {0x800705B4, u"This operation returned because the timeout period expired.\r\n"},
  };
}

// ---- the model -------------------------------------------------------------------------------

Hwnd SimDesktop::desktop_window() const {
  return desktop_;
}

Hwnd SimDesktop::create_window(const WindowSpec& desc) {
  const std::lock_guard lock(mutex_);
  return create_locked(desc);
}

Hwnd SimDesktop::create_locked(const WindowSpec& desc) {
  const Hwnd parent = desc.parent == 0 ? desktop_ : desc.parent;
  const Hwnd handle = next_window_;
  next_window_ += 4;
  windows_[handle] = Window{.state = {.class_name = desc.class_name,
                                      .parent = parent,
                                      .process_id = desc.process_id,
                                      .rect = desc.rect,
                                      .style = desc.style,
                                      .ex_style = desc.ex_style,
                                      .visible = (desc.style & 0x10000000) != 0}};
  auto& siblings = windows_.at(parent).children;
  siblings.insert(siblings.begin(), handle);
  return handle;
}

void SimDesktop::destroy_window(Hwnd window) {
  const std::lock_guard lock(mutex_);
  destroy_locked(window);
}

void SimDesktop::destroy_locked(Hwnd window) {
  Window* found = find(window);
  if (found == nullptr || window == desktop_) return;
  for (const Hwnd child : std::vector<Hwnd>(found->children)) destroy_locked(child);
  unlink(window);
  windows_.erase(window);
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

const SimDesktop::ShellWindows& SimDesktop::start_shell(const ShellSpec& desc) {
  const std::lock_guard lock(mutex_);
  shell_spec_ = desc;
  const Rect screen = virtual_screen();
  const Rect whole{0, 0, screen.right - screen.left, screen.bottom - screen.top};
  shell_ = {};
  shell_.progman = create_locked({.class_name = u"Progman",
                                  .process_id = desc.process_id,
                                  .rect = screen,
                                  .style = 0x96000000});
  shell_.defview = create_locked({.class_name = u"SHELLDLL_DefView",
                                  .parent = shell_.progman,
                                  .process_id = desc.process_id,
                                  .rect = whole,
                                  .style = 0x56000000});
  if (desc.taskbar && !monitors_.empty()) {
    const Rect primary = monitors_.front().info.monitor;
    shell_.taskbar =
        create_locked({.class_name = u"Shell_TrayWnd",
                       .process_id = desc.process_id,
                       .rect = {primary.left, primary.bottom - 40, primary.right, primary.bottom},
                       .style = 0x96000000});
  }
  if (desc.layer_exists) create_layer();
  return shell_;
}

void SimDesktop::create_layer() {
  if (shell_.layer != 0 || find(shell_.progman) == nullptr) return;
  const Rect screen = virtual_screen();
  const std::uint32_t pid = shell_spec_.process_id;
  if (shell_spec_.layout == ShellLayout::raised) {
    shell_.layer =
        create_locked({.class_name = u"WorkerW",
                       .parent = shell_.progman,
                       .process_id = pid,
                       .rect = {0, 0, screen.right - screen.left, screen.bottom - screen.top},
                       .style = 0x56000000});
    place_below(shell_.layer, shell_.defview);
    return;
  }
  // The icons move to a new top-level WorkerW; the empty one behind it is the layer.
  shell_.layer = create_locked(
      {.class_name = u"WorkerW", .process_id = pid, .rect = screen, .style = 0x96000000});
  place_above(shell_.layer, shell_.progman);
  shell_.icons_workerw = create_locked(
      {.class_name = u"WorkerW", .process_id = pid, .rect = screen, .style = 0x96000000});
  place_above(shell_.icons_workerw, shell_.layer);
  unlink(shell_.defview);
  windows_.at(shell_.defview).state.parent = shell_.icons_workerw;
  windows_.at(shell_.icons_workerw).children.push_back(shell_.defview);
}

void SimDesktop::set_command_line(std::u16string command_line) {
  const std::lock_guard lock(mutex_);
  command_line_ = std::move(command_line);
}

void SimDesktop::set_system_message(std::uint32_t code, std::u16string text, bool ntdll) {
  const std::lock_guard lock(mutex_);
  (ntdll ? ntdll_messages_ : system_messages_)[code] = std::move(text);
}

DpiContext SimDesktop::thread_dpi_context() const {
  const std::lock_guard lock(mutex_);
  const auto found = thread_dpi_.find(std::this_thread::get_id());
  return found == thread_dpi_.end() ? process_dpi_ : found->second;
}

std::string SimDesktop::stdout_text() const {
  const std::lock_guard lock(mutex_);
  return stdout_;
}

std::string SimDesktop::stderr_text() const {
  const std::lock_guard lock(mutex_);
  return stderr_;
}

void SimDesktop::close_stdout() {
  const std::lock_guard lock(mutex_);
  stdout_closed_ = true;
}

void SimDesktop::set_stdout_piecewise(bool piecewise) {
  const std::lock_guard lock(mutex_);
  stdout_piecewise_ = piecewise;
}

void SimDesktop::fail_call(const std::string& name, LastError error, int times) {
  const std::lock_guard lock(mutex_);
  faults_[name] = {.error = error, .remaining = times};
}

std::vector<std::string> SimDesktop::calls() const {
  const std::lock_guard lock(mutex_);
  return calls_;
}

std::size_t SimDesktop::count_calls(std::string_view prefix) const {
  const std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::ranges::count_if(calls_, [&](const std::string& c) { return c.starts_with(prefix); }));
}

void SimDesktop::clear_calls() {
  const std::lock_guard lock(mutex_);
  calls_.clear();
}

// ---- helpers, with the lock held --------------------------------------------------------------

std::optional<LastError> SimDesktop::take_fault(const std::string& name) {
  const auto found = faults_.find(name);
  if (found == faults_.end()) return std::nullopt;
  const LastError error = found->second.error;
  if (found->second.remaining != always && --found->second.remaining == 0) faults_.erase(found);
  return error;
}

void SimDesktop::log(std::string entry) {
  calls_.push_back(std::move(entry));
}

SimDesktop::Window* SimDesktop::find(Hwnd window) {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
}

const SimDesktop::Window* SimDesktop::find(Hwnd window) const {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : &found->second;
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

void SimDesktop::advance(std::chrono::microseconds duration) {
  const std::chrono::microseconds until = now_ + duration;
  for (;;) {
    const auto next = std::ranges::min_element(scheduled_, {}, &Scheduled::due);
    if (next == scheduled_.end() || next->due > until) break;
    now_ = std::max(now_, next->due);
    const std::function<void()> action = std::move(next->action);
    scheduled_.erase(next);
    action();
  }
  now_ = until;
}

// ---- Platform --------------------------------------------------------------------------------

std::u16string SimDesktop::get_command_line_w() {
  const std::lock_guard lock(mutex_);
  return command_line_;
}

SysResult<void> SimDesktop::write_stdout(std::string_view utf8) {
  std::unique_lock lock(mutex_);
  if (stdout_closed_) return std::unexpected(error_no_data);
  if (!stdout_piecewise_) {
    stdout_ += utf8;
    return {};
  }
  for (const char byte : utf8) {
    stdout_ += byte;
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  }
  return {};
}

SysResult<void> SimDesktop::write_stderr(std::string_view utf8) {
  const std::lock_guard lock(mutex_);
  stderr_ += utf8;
  return {};
}

SysResult<Hmodule> SimDesktop::get_module_handle_w(const char16_t* name) {
  const std::lock_guard lock(mutex_);
  const std::string text = name == nullptr ? "null" : quoted(utf8_from_utf16_lossy(name));
  log(call("GetModuleHandleW", {text}));
  if (const auto fault = take_fault("GetModuleHandleW")) return std::unexpected(*fault);
  if (name == nullptr) return program_module;
  if (std::u16string_view(name) == u"ntdll.dll") return ntdll_module;
  return std::unexpected(error_mod_not_found);
}

SysResult<std::u16string> SimDesktop::format_message_w(std::uint32_t flags, Hmodule source,
                                                       std::uint32_t code) {
  const std::lock_guard lock(mutex_);
  log(call("FormatMessageW", {hex(flags), hex(static_cast<std::uint64_t>(source)), hex(code)}));
  if (const auto fault = take_fault("FormatMessageW")) return std::unexpected(*fault);
  if ((flags & win::format_message_from_hmodule) != 0 && source == ntdll_module) {
    if (const auto found = ntdll_messages_.find(code); found != ntdll_messages_.end()) {
      return found->second;
    }
  }
  if ((flags & win::format_message_from_system) != 0) {
    if (const auto found = system_messages_.find(code); found != system_messages_.end()) {
      return found->second;
    }
  }
  return std::unexpected(error_mr_mid_not_found);
}

std::chrono::microseconds SimDesktop::monotonic_now() {
  const std::lock_guard lock(mutex_);
  return now_;
}

void SimDesktop::sleep(std::chrono::milliseconds duration) {
  const std::lock_guard lock(mutex_);
  log(call("Sleep", {decimal(duration.count())}));
  advance(duration);
}

SysResult<void> SimDesktop::set_process_dpi_awareness_context(DpiContext context) {
  const std::lock_guard lock(mutex_);
  log(call("SetProcessDpiAwarenessContext", {decimal(context)}));
  if (const auto fault = take_fault("SetProcessDpiAwarenessContext")) {
    return std::unexpected(*fault);
  }
  process_dpi_ = context;
  return {};
}

SysResult<DpiContext> SimDesktop::set_thread_dpi_awareness_context(DpiContext context) {
  const std::lock_guard lock(mutex_);
  log(call("SetThreadDpiAwarenessContext", {decimal(context)}));
  if (const auto fault = take_fault("SetThreadDpiAwarenessContext")) {
    return std::unexpected(*fault);
  }
  const auto [entry, inserted] = thread_dpi_.try_emplace(std::this_thread::get_id(), process_dpi_);
  return std::exchange(entry->second, context);
}

bool SimDesktop::is_window(Hwnd window) {
  const std::lock_guard lock(mutex_);
  log(call("IsWindow", {decimal(window)}));
  return find(window) != nullptr;
}

SysResult<Hwnd> SimDesktop::find_window_a(std::string_view class_name) {
  const std::lock_guard lock(mutex_);
  log(call("FindWindowA", {quoted(class_name)}));
  if (const auto fault = take_fault("FindWindowA")) return std::unexpected(*fault);
  const std::optional<Hwnd> found = find_child(desktop_, 0, class_name);
  if (!found) return std::unexpected(LastError{0});
  return *found;
}

SysResult<Hwnd> SimDesktop::find_window_ex_a(Hwnd parent, Hwnd child_after,
                                             std::string_view class_name) {
  const std::lock_guard lock(mutex_);
  log(call("FindWindowExA", {decimal(parent), decimal(child_after), quoted(class_name)}));
  if (const auto fault = take_fault("FindWindowExA")) return std::unexpected(*fault);
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

SysResult<void> SimDesktop::enum_windows(const WindowVisitor& visit) {
  std::vector<Hwnd> snapshot;
  {
    const std::lock_guard lock(mutex_);
    log("EnumWindows");
    if (const auto fault = take_fault("EnumWindows")) return std::unexpected(*fault);
    snapshot = windows_.at(desktop_).children;
  }
  for (const Hwnd window : snapshot) {
    if (!visit(window)) break;
  }
  return {};
}

SysResult<void> SimDesktop::enum_child_windows(Hwnd parent, const WindowVisitor& visit) {
  std::vector<Hwnd> snapshot;
  {
    const std::lock_guard lock(mutex_);
    log(call("EnumChildWindows", {decimal(parent)}));
    if (const auto fault = take_fault("EnumChildWindows")) return std::unexpected(*fault);
    if (find(parent) == nullptr) return std::unexpected(win::error_invalid_window_handle);
    collect_descendants(parent, snapshot);
  }
  for (const Hwnd window : snapshot) {
    if (!visit(window)) break;
  }
  return {};
}

SysResult<std::u16string> SimDesktop::get_class_name_w(Hwnd window, int capacity) {
  const std::lock_guard lock(mutex_);
  log(call("GetClassNameW", {decimal(window), decimal(capacity)}));
  if (const auto fault = take_fault("GetClassNameW")) return std::unexpected(*fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (capacity <= 0) return std::unexpected(error_invalid_parameter);
  // The system truncates to the buffer, leaving room for the terminating zero.
  return found->state.class_name.substr(0, static_cast<std::size_t>(capacity - 1));
}

SysResult<Hwnd> SimDesktop::get_ancestor(Hwnd window, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  log(call("GetAncestor", {decimal(window), decimal(flags)}));
  if (const auto fault = take_fault("GetAncestor")) return std::unexpected(*fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (window == desktop_) return std::unexpected(LastError{0});
  if (flags == win::ga_parent) return found->state.parent;
  if (flags != ga_root) return std::unexpected(error_invalid_parameter);
  Hwnd root = window;
  while (windows_.at(root).state.parent != desktop_) root = windows_.at(root).state.parent;
  return root;
}

SysResult<Rect> SimDesktop::get_window_rect(Hwnd window) {
  const std::lock_guard lock(mutex_);
  log(call("GetWindowRect", {decimal(window)}));
  if (const auto fault = take_fault("GetWindowRect")) return std::unexpected(*fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  return screen_rect(window);
}

SysResult<Point> SimDesktop::screen_to_client(Hwnd window, Point point) {
  const std::lock_guard lock(mutex_);
  log(call("ScreenToClient", {decimal(window), decimal(point.x), decimal(point.y)}));
  if (const auto fault = take_fault("ScreenToClient")) return std::unexpected(*fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  const Point origin = window == desktop_ ? Point{} : client_origin(window);
  return Point{.x = point.x - origin.x, .y = point.y - origin.y};
}

SysResult<std::int64_t> SimDesktop::get_window_long_ptr_w(Hwnd window, int index) {
  const std::lock_guard lock(mutex_);
  log(call("GetWindowLongPtrW", {decimal(window), decimal(index)}));
  if (const auto fault = take_fault("GetWindowLongPtrW")) return std::unexpected(*fault);
  const Window* found = find(window);
  if (found == nullptr) return std::unexpected(win::error_invalid_window_handle);
  if (index == win::gwl_style) return sign_extend(found->state.style);
  if (index == win::gwl_exstyle) return sign_extend(found->state.ex_style);
  return std::unexpected(error_invalid_index);
}

SysResult<std::int64_t> SimDesktop::set_window_long_ptr_w(Hwnd window, int index,
                                                          std::int64_t value) {
  const std::lock_guard lock(mutex_);
  log(call("SetWindowLongPtrW",
           {decimal(window), decimal(index), hex(static_cast<std::uint64_t>(value))}));
  if (const auto fault = take_fault("SetWindowLongPtrW")) return std::unexpected(*fault);
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
  const std::lock_guard lock(mutex_);
  log(call("SetParent", {decimal(child), decimal(new_parent)}));
  if (const auto fault = take_fault("SetParent")) return std::unexpected(*fault);
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
  const std::lock_guard lock(mutex_);
  log(call("SetWindowPos", {decimal(window), decimal(insert_after), decimal(x), decimal(y),
                            decimal(width), decimal(height), hex(flags)}));
  if (const auto fault = take_fault("SetWindowPos")) return std::unexpected(*fault);
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
  }
  return {};
}

SysResult<void> SimDesktop::send_message_timeout_w(Hwnd window, std::uint32_t message,
                                                   std::uint64_t wparam, std::int64_t lparam,
                                                   std::uint32_t flags, std::uint32_t timeout_ms) {
  const std::lock_guard lock(mutex_);
  log(call("SendMessageTimeoutW", {decimal(window), hex(message), decimal(std::int64_t(wparam)),
                                   decimal(lparam), hex(flags), decimal(timeout_ms)}));
  if (const auto fault = take_fault("SendMessageTimeoutW")) return std::unexpected(*fault);
  if (find(window) == nullptr) return std::unexpected(win::error_invalid_window_handle);
  const bool spawn_request = window == shell_.progman && message == spawn_message &&
                             wparam == spawn_wparam && lparam == spawn_lparam;
  if (!spawn_request) return {};
  if (shell_spec_.hung) {
    advance(std::chrono::milliseconds(timeout_ms));
    return std::unexpected(error_timeout);
  }
  if (!shell_spec_.creates_layer) return {};
  if (shell_spec_.spawn_delay.count() == 0) {
    create_layer();
  } else {
    scheduled_.push_back({now_ + shell_spec_.spawn_delay, [this] { create_layer(); }});
  }
  return {};
}

Hmonitor SimDesktop::monitor_from_window(Hwnd window, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  log(call("MonitorFromWindow", {decimal(window), decimal(flags)}));
  if (find(window) == nullptr || monitors_.empty()) return 0;
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
  const std::lock_guard lock(mutex_);
  log(call("GetMonitorInfoW", {decimal(monitor)}));
  if (const auto fault = take_fault("GetMonitorInfoW")) return std::unexpected(*fault);
  const auto found = std::ranges::find(monitors_, monitor, &Monitor::handle);
  if (found == monitors_.end()) return std::unexpected(error_invalid_monitor_handle);
  return found->info;
}

SysResult<void> SimDesktop::system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                                     const char16_t* text, std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  const std::string argument = text == nullptr ? "null" : quoted(utf8_from_utf16_lossy(text));
  log(call("SystemParametersInfoW", {hex(action), decimal(param), argument, hex(flags)}));
  if (const auto fault = take_fault("SystemParametersInfoW")) return std::unexpected(*fault);
  return {};
}

}  // namespace orvel
