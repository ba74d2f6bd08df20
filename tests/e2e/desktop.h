#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/helper_process.h"

namespace orvel::e2e {

struct Box {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
  bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Box& box);

Box window_rect(HWND window);
// The window's rectangle in the client coordinates of its parent (screen ones for a top-level).
Box rect_in_parent(HWND window);
POINT client_origin(HWND window);
Box monitor_nearest(HWND window);
DWORD window_style(HWND window);
DWORD window_ex_style(HWND window);

inline constexpr wchar_t plain_class[] = L"OrvelE2ePlain";

struct WindowSpec {
  const wchar_t* class_name = plain_class;
  DWORD style = 0;
  DWORD ex_style = 0;
  Box rect;  // in the parent's client coordinates
  HWND parent = nullptr;
};

// Child windows need no owner: they go with their parent.
HWND create_window(const WindowSpec& spec);

// A top-level window of ours, or a child that must go before its parent, destroyed with its owner.
class Window {
 public:
  explicit Window(HWND handle) : handle_(handle) {}
  Window(Window&& other) noexcept;
  Window& operator=(Window&&) = delete;
  ~Window();

  HWND get() const { return handle_; }

 private:
  HWND handle_;
};

// A style change that the host window was asked for, as its own window procedure saw it.
struct StyleRequest {
  int index;        // GWL_STYLE or GWL_EXSTYLE
  DWORD requested;  // the value given to SetWindowLongPtrW, before the system adjusts it
  HWND parent;      // the host window's parent at that moment
  bool operator==(const StyleRequest&) const = default;
};
std::ostream& operator<<(std::ostream& out, const StyleRequest& request);

// The main process's window, which the helper is told to move or detach.
class HostWindow {
 public:
  explicit HostWindow(WindowSpec spec);
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND get() const { return window_.get(); }
  const std::vector<StyleRequest>& style_requests() const { return requests_; }

 private:
  std::vector<StyleRequest> requests_;  // filled by the window procedure
  Window window_;
};

// What the helper makes of a host window's styles when it attaches and when it detaches it.
constexpr DWORD attached_style(DWORD style) {
  return (style & 0xBBFFFFFF) | 0x40000000;
}
constexpr DWORD attached_ex_style(DWORD ex_style) {
  return ex_style & 0xFFFBFEEF;
}
constexpr DWORD detached_style(DWORD style) {
  return (style & 0x3FFFFFFF) | 0x80000000;
}
constexpr DWORD detached_ex_style(DWORD ex_style) {
  return ex_style | 0x00040100;
}

// The two shapes in which the shell keeps its desktop layer.
enum class Layout {
  classic,  // a top-level WorkerW after the one that holds the icons
  raised,   // a WorkerW inside Progman, beside the icons
};
std::ostream& operator<<(std::ostream& out, Layout layout);

enum class Layer {
  present,     // from the start
  on_request,  // once Progman is asked for it
};

// What the shell's desktop (Progman, the icons and the layer) covers.
enum class Area {
  primary_monitor,
  virtual_screen,  // every monitor, as when there are several
};

// Whether the shell's windows draw what a person would see, or nothing.
enum class Look {
  blank,
  painted,  // a wallpaper, icon tiles around which the layer shows, a taskbar
};

// The monitor that the two-monitor run adds right of the primary one, as its fake Xinerama says.
inline constexpr Box second_monitor{.left = 1920, .top = 0, .right = 3840, .bottom = 1080};

// The shell, played by a program of its own in its own process, its taskbar on the primary
// monitor. The layer's client area starts away from the screen origin, so that screen and client
// coordinates differ.
class Shell {
 public:
  explicit Shell(Layout layout, Layer layer = Layer::present, Area area = Area::primary_monitor,
                 Look look = Look::blank);

  HWND layer() const { return layer_; }
  DWORD taskbar_process() const { return taskbar_process_; }

  // Looks again, since the helper may have had the layer made.
  void update() { obey("windows"); }
  // The taskbar goes away and a new one comes up in a new process, while the layer lives on.
  void restart_taskbar();
  // Destroys the layer, and the host window in it with it.
  void destroy_layer() { obey("destroy-layer"); }
  // Puts a window of the shell's own above the layer's other children.
  void cover_layer() { obey("cover-layer"); }

 private:
  void obey(std::string_view command);
  void take_windows(Process& shell);

  std::wstring look_;  // what the stand-in is told after its mode
  Process desktop_;
  std::optional<Process> taskbar_;
  HWND layer_ = nullptr;
  DWORD taskbar_process_ = 0;
};

// Lines that the helper writes, without their line feed.
std::string attached_line(HWND host, HWND layer, Layout layout);
std::string host_event(const char* name, HWND host);
inline constexpr char heartbeat[] = "{\"event\":\"heartbeat\"}";
inline constexpr char explorer_restarted[] = "{\"event\":\"explorer-restarted\"}";
inline constexpr char window_destroyed_error[] =
    "{\"event\":\"error\",\"message\":\"orvel window was destroyed together with the "
    "WorkerW; the main process must rebuild it\",\"kind\":\"window-destroyed\"}";
inline constexpr char window_gone_error[] =
    "{\"event\":\"error\",\"message\":\"orvel window no longer exists\"}";

}  // namespace orvel::e2e
