#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

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
Box monitor_nearest(HWND window);
DWORD window_style(HWND window);

struct WindowCloser {
  void operator()(HWND window) const { DestroyWindow(window); }
};
// A window of ours, destroyed with its owner.
using Window = std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser>;

struct WindowSpec {
  DWORD style = 0;
  Box rect;  // in the parent's client coordinates
  HWND parent = nullptr;
};
Window create_window(const WindowSpec& spec);

// The two shapes in which the shell keeps its desktop layer.
enum class Layout {
  classic,  // a top-level WorkerW after the one that holds the icons
  raised,   // a WorkerW inside Progman, beside the icons
};

struct ShellOptions {
  bool layer_on_request = false;  // the layer comes once Progman is asked for it
  bool virtual_screen = false;    // the desktop covers every monitor, as when there are several
  bool painted = false;           // the windows draw what a person would see
};

// The monitor that the two-monitor run adds right of the primary one, as its fake Xinerama says.
inline constexpr Box second_monitor{.left = 1920, .top = 0, .right = 3840, .bottom = 1080};

// The shell, played by a program of its own in its own process, its taskbar on the primary
// monitor. The layer's client area starts away from the screen origin, so that screen and client
// coordinates differ.
class Shell {
 public:
  explicit Shell(Layout layout, ShellOptions options = {});

  HWND layer() const { return layer_; }

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

  std::wstring look_;  // what the stand-in is told after its mode
  Process desktop_;
  std::optional<Process> taskbar_;
  HWND layer_ = nullptr;
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
