#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/calls.h"

namespace orvel {

using sim::Call;

// A desktop in plain C++ that answers the program's calls the way Windows would, as far as the
// program can observe: windows with class, owner, z-order, rectangle and styles; monitors; the
// shell; the program's own window class, windows, message queues, timers and WinEvent hooks;
// standard streams; raw mouse input, the cursor and the foreground window.
//
// Threads run one at a time. The thread that creates the desktop is the program's main thread;
// every thread the program starts is known to it. A thread runs until it blocks in a simulated
// call (waiting for a message, sleeping, reading standard input); then the next thread that can go
// on runs. Virtual time moves only when every thread is blocked, and then jumps to the earliest
// due timer, sleep end or scripted action. So a run with several real threads is the same on every
// run. When every thread is blocked and nothing is due, the desktop stops the process with the
// call log instead of hanging. Every call is logged, and any call can be made to fail.
class SimDesktop : public Platform {
 public:
  struct WindowSpec {
    std::u16string class_name;
    Hwnd parent = 0;  // 0 makes a top-level window
    std::uint32_t process_id = 1;
    Rect rect;  // in the parent's client coordinates
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
  };

  struct WindowState {
    std::u16string class_name;
    Hwnd parent = 0;  // the desktop window for a top-level window
    std::uint32_t process_id = 0;
    std::uint32_t thread_id = 0;
    Rect rect;         // in the parent's client coordinates
    Rect screen_rect;  // in virtual-screen coordinates
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    bool visible = false;
  };

  enum class ShellLayout {
    classic,  // after the request: a top-level WorkerW with the icons, an empty one below it
    raised,   // after the request: a WorkerW inside Progman, below the icons
  };

  struct ShellSpec {
    ShellLayout layout = ShellLayout::classic;
    bool layer_exists = false;  // the layer is there before anyone asks for it
    bool creates_layer = true;  // false: the request is answered and nothing happens
    std::chrono::milliseconds spawn_delay{0};
    bool hung = false;  // the request times out after its full time-out
    bool taskbar = true;
    std::uint32_t process_id = 700;
  };

  struct ShellWindows {
    Hwnd progman = 0;
    Hwnd defview = 0;
    Hwnd taskbar = 0;
    Hwnd icons_workerw = 0;  // classic layout, once created
    Hwnd layer = 0;          // once created
  };

  // How standard input looks to the program.
  enum class StdinKind { pipe, console, none, invalid };
  // How a pipe tells its end: Windows fails the read with a broken pipe, Wine reads 0 bytes.
  enum class PipeEnd { zero_bytes, broken_pipe };

  // One line of standard output and the virtual time at which it was written.
  struct OutputLine {
    std::chrono::microseconds at;
    std::string text;  // without its line feed
  };

  static constexpr std::uint32_t spawn_message = 0x052C;
  static constexpr std::uint32_t program_process_id = 4200;
  static constexpr LastError error_access_denied = 5;
  static constexpr LastError error_no_data = 232;
  static constexpr LastError error_timeout = 1460;
  static constexpr int always = -1;

  SimDesktop();
  ~SimDesktop() override;

  // The window tree.
  Hwnd desktop_window() const;
  Hwnd create_window(const WindowSpec& desc);
  // Destroys the window and its children, as their owner would, with the WinEvents of each.
  void destroy(Hwnd window);
  // The same, but the window's own WinEvent comes `gap` before it and its children go, as when
  // the owner raises it from the window's WM_DESTROY.
  void destroy_after_telling(Hwnd window, std::chrono::microseconds gap);
  // Puts the window on top of its siblings, as another process would, with the WinEvent.
  void raise(Hwnd window);
  std::optional<WindowState> window(Hwnd window) const;
  std::vector<Hwnd> children(Hwnd parent) const;  // in z-order, topmost first
  Hmonitor add_monitor(Rect monitor, Rect work);
  Hmonitor add_monitor(Rect monitor) { return add_monitor(monitor, monitor); }

  // The shell.
  ShellWindows start_shell(const ShellSpec& desc);
  ShellWindows shell() const;
  // The whole shell goes, its windows taking their children with them, and comes back in a new
  // process; it then tells the top-level windows "TaskbarCreated".
  ShellWindows restart_shell(const ShellSpec& desc);
  // Only the taskbar goes and comes back, in a new process; the desktop layer stays.
  ShellWindows restart_taskbar(std::uint32_t process_id);
  // A WM_CLOSE or any message from another process.
  void post_from_outside(Hwnd window, std::uint32_t message);

  // Process and streams.
  void set_command_line(std::u16string command_line);
  void set_system_message(std::uint32_t code, std::u16string text, bool ntdll = false);
  DpiContext thread_dpi_context() const;  // of the calling thread
  std::string stdout_text() const;
  std::vector<OutputLine> stdout_lines() const;
  std::string stderr_text() const;
  void close_stdout();
  // Writes standard output one byte at a time and lets other threads run in between.
  void set_stdout_piecewise(bool piecewise);
  void set_stdin(StdinKind kind, PipeEnd end = PipeEnd::broken_pipe);
  // Bytes for a pipe; each call is one piece that one read gives at most.
  void write_stdin(std::string bytes);
  // UTF-16 for a console, one piece per call likewise.
  void type_console(std::u16string text);
  void end_stdin();

  // Input.
  void set_cursor(Point position);
  void set_foreground(std::optional<Hwnd> window);
  void set_swap_buttons(bool swapped);
  // One raw mouse record, delivered as WM_INPUT to the window registered for raw mouse input.
  void mouse_input(const RawInputRecord& record);

  // Time and threads.
  std::chrono::microseconds elapsed() const;  // virtual time since the desktop was made
  // Runs `action` once virtual time reaches `at` since the desktop was made. It runs while every
  // program thread is blocked, like another process would, and may call anything above.
  void at(std::chrono::microseconds at, std::function<void()> action);
  // Blocks the calling (main) thread for `duration` of virtual time, letting the others run.
  void run_for(std::chrono::microseconds duration);
  // A run whose virtual time passes this is stopped with the call log; it never ends otherwise.
  void set_time_limit(std::chrono::microseconds limit);

  // Faults and the call log. A fault skips `after` calls, then fails `times` calls.
  void fail_call(Call call, LastError error, int times = always, int after = 0);
  std::vector<std::string> calls() const;
  std::size_t count_calls(Call call) const;
  void clear_calls();

  // Platform.
  std::u16string get_command_line_w() override;
  SysResult<void> write_stdout(std::string_view utf8) override;
  SysResult<void> write_stderr(std::string_view utf8) override;
  Handle get_std_handle(std::uint32_t which) override;
  SysResult<std::uint32_t> get_console_mode(Handle handle) override;
  SysResult<std::size_t> read_file(Handle handle, std::span<char> buffer) override;
  SysResult<std::size_t> read_console_w(Handle handle, std::span<char16_t> buffer) override;
  SysResult<Hmodule> get_module_handle_w(const char16_t* name) override;
  SysResult<std::u16string> format_message_w(std::uint32_t flags, Hmodule source,
                                             std::uint32_t code) override;
  SysResult<void> start_thread(ThreadBody body) override;
  std::chrono::microseconds monotonic_now() override;
  void sleep(std::chrono::milliseconds duration) override;
  SysResult<void> set_process_dpi_awareness_context(DpiContext context) override;
  SysResult<DpiContext> set_thread_dpi_awareness_context(DpiContext context) override;

  bool is_window(Hwnd window) override;
  SysResult<Hwnd> find_window_a(std::string_view class_name) override;
  SysResult<Hwnd> find_window_ex_a(Hwnd parent, Hwnd child_after,
                                   std::string_view class_name) override;
  bool enum_windows(const WindowVisitor& visit) override;
  void enum_child_windows(Hwnd parent, const WindowVisitor& visit) override;
  SysResult<std::u16string> get_class_name_w(Hwnd window, int capacity) override;
  std::optional<Hwnd> get_ancestor(Hwnd window, std::uint32_t flags) override;
  std::optional<Hwnd> window_from_point(Point point) override;
  std::optional<Hwnd> get_foreground_window() override;
  SysResult<Hwnd> get_window(Hwnd window, std::uint32_t command) override;
  SysResult<WindowOwner> get_window_thread_process_id(Hwnd window) override;
  SysResult<Rect> get_window_rect(Hwnd window) override;
  SysResult<Point> screen_to_client(Hwnd window, Point point) override;
  SysResult<std::int64_t> get_window_long_ptr_w(Hwnd window, int index) override;
  SysResult<std::int64_t> set_window_long_ptr_w(Hwnd window, int index,
                                                std::int64_t value) override;
  SysResult<Hwnd> set_parent(Hwnd child, Hwnd new_parent) override;
  SysResult<void> set_window_pos(Hwnd window, Hwnd insert_after, int x, int y, int width,
                                 int height, std::uint32_t flags) override;
  bool invalidate_rect(Hwnd window, bool erase) override;
  bool update_window(Hwnd window) override;
  Hmonitor monitor_from_window(Hwnd window, std::uint32_t flags) override;
  SysResult<MonitorInfo> get_monitor_info_w(Hmonitor monitor) override;
  SysResult<void> system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                           const char16_t* text, std::uint32_t flags) override;

  SysResult<std::uint16_t> register_class_a(const WindowClass& window_class) override;
  SysResult<std::uint32_t> register_window_message_w(std::u16string_view name) override;
  SysResult<Hwnd> create_window_ex_a(const WindowCreation& creation) override;
  SysResult<void> destroy_window(Hwnd window) override;
  std::int64_t def_window_proc_a(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) override;
  SysResult<bool> get_message_w(Message& message, Hwnd window, std::uint32_t first,
                                std::uint32_t last) override;
  bool translate_message(const Message& message) override;
  std::int64_t dispatch_message_w(const Message& message) override;
  SysResult<void> post_message_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) override;
  void post_quit_message(int exit_code) override;
  SysResult<void> send_message_timeout_w(Hwnd window, std::uint32_t message, std::uint64_t wparam,
                                         std::int64_t lparam, std::uint32_t flags,
                                         std::uint32_t timeout_ms) override;
  SysResult<std::uint64_t> set_timer(Hwnd window, std::uint64_t id,
                                     std::uint32_t period_ms) override;

  std::optional<Hhook> set_win_event_hook(std::uint32_t event_min, std::uint32_t event_max,
                                          Hmodule module, WinEventProc callback,
                                          std::uint32_t process_id, std::uint32_t thread_id,
                                          std::uint32_t flags) override;

  SysResult<void> register_raw_input_devices(std::span<const RawInputDevice> devices) override;
  SysResult<RawInputRecord> get_raw_input_data(std::int64_t raw_input) override;
  SysResult<Point> get_cursor_pos() override;
  int get_system_metrics(int index) override;

 private:
  using Lock = std::unique_lock<std::mutex>;
  using Micros = std::chrono::microseconds;

  struct Window {
    WindowState state;
    std::vector<Hwnd> children;      // topmost first
    WindowProc procedure = nullptr;  // the program's own windows only
  };
  struct Monitor {
    Hmonitor handle;
    MonitorInfo info;
  };
  struct Fault {
    LastError error;
    int skip;
    int remaining;
  };
  struct Timer {
    Hwnd window;
    std::uint64_t id;
    Micros period;
    Micros due;
  };
  struct Hook {
    Hhook handle;
    std::uint32_t event_min;
    std::uint32_t event_max;
    WinEventProc callback;
    std::uint32_t flags;
    std::uint32_t thread_id;
  };
  struct WinEvent {
    const Hook* hook;
    std::uint32_t event;
    Hwnd window;
  };
  struct Thread {
    std::uint32_t id;
    std::thread::id native;
    std::function<bool()> ready;  // set while the thread is blocked: can it go on?
    bool ended = false;
    std::deque<Message> posted;
    std::deque<WinEvent> events;
    std::optional<int> quit;
  };
  struct Scheduled {
    Micros due;
    std::uint64_t order;
    std::function<void()> action;
    bool outside_lock;  // a test's action, run like another process, without the lock
  };
  struct Stdin {
    StdinKind kind = StdinKind::pipe;
    PipeEnd end = PipeEnd::broken_pipe;
    std::deque<std::string> pipe;
    std::deque<std::u16string> console;
    bool ended = false;
  };
  // The call's lock, held for its whole body, and the fault injected for it, if any.
  struct Entry {
    Lock lock;
    std::optional<LastError> fault;
  };

  // sim_desktop.cpp: the lock, log and fault step of every call.
  Entry enter(Call call, std::string arguments);
  std::optional<LastError> take_fault(Call call);

  // sim_windows.cpp, all with the lock held.
  Window* find(Hwnd window);
  const Window* find(Hwnd window) const;
  Hwnd create_locked(const WindowSpec& desc, std::uint32_t thread_id = 0);
  void destroy_locked(Hwnd window, std::uint32_t actor_process, bool told = false);
  void unlink(Hwnd window);
  void place_above(Hwnd window, Hwnd sibling);
  void place_below(Hwnd window, Hwnd sibling);
  std::optional<Hwnd> find_child(Hwnd parent, Hwnd child_after, std::string_view class_name) const;
  Point client_origin(Hwnd window) const;
  Rect screen_rect(Hwnd window) const;
  void collect_descendants(Hwnd parent, std::vector<Hwnd>& out) const;
  Rect virtual_screen() const;
  std::optional<Hwnd> topmost_at(Hwnd parent, Point point) const;

  // sim_shell.cpp, with the lock held.
  void start_shell_locked(const ShellSpec& desc);
  void create_layer();
  void broadcast_locked(std::uint32_t message);

  // sim_messages.cpp, with the lock held.
  std::uint32_t message_id_locked(std::u16string_view name);
  void raise_win_event(std::uint32_t event, Hwnd window, std::uint32_t actor_process);
  bool has_message(const Thread& thread) const;
  void post_locked(Hwnd window, const Message& message);

  // sim_scheduler.cpp, with the lock held.
  Thread* current_thread();
  std::uint32_t current_thread_id();
  // Blocks the calling thread until `ready` holds, letting the other threads run meanwhile.
  void block_until(Lock& lock, std::function<bool()> ready);
  // Blocks the calling thread for `duration` of virtual time.
  void wait_locked(Lock& lock, Micros duration);
  // Gives the turn to the next thread that can go on, moving time when none can.
  void hand_over(Lock& lock);
  void wait_for_turn(Lock& lock, std::uint32_t thread_id);
  bool advance_time(Lock& lock);
  [[noreturn]] void stop_stuck(std::string_view why);
  void schedule_locked(Micros due, std::function<void()> action, bool outside_lock);
  static void park_forever();

  mutable std::mutex mutex_;
  std::condition_variable turn_changed_;

  // The window tree and monitors.
  std::map<Hwnd, Window> windows_;
  Hwnd desktop_ = 0;
  Hwnd next_window_ = 0x10010;
  std::vector<Monitor> monitors_;
  Hmonitor next_monitor_ = 0x10001;

  // The shell.
  ShellSpec shell_spec_;
  ShellWindows shell_;

  // Process and streams.
  std::u16string command_line_;
  std::map<std::uint32_t, std::u16string> system_messages_;
  std::map<std::uint32_t, std::u16string> ntdll_messages_;
  DpiContext process_dpi_ = 0x6010;
  std::map<std::thread::id, DpiContext> thread_dpi_;
  std::string stdout_;
  std::vector<OutputLine> stdout_lines_;
  std::size_t line_start_ = 0;
  std::string stderr_;
  bool stdout_closed_ = false;
  bool stdout_piecewise_ = false;
  Stdin stdin_;

  // Classes, messages, timers and hooks.
  std::map<std::string, WindowProc> classes_;
  std::map<std::u16string, std::uint32_t, std::less<>> message_ids_;
  std::vector<Timer> timers_;
  std::deque<Hook> hooks_;
  Hhook next_hook_ = 0x30001;

  // Input.
  Point cursor_;
  std::optional<Hwnd> foreground_;
  bool swap_buttons_ = false;
  Hwnd raw_input_target_ = 0;
  std::map<std::int64_t, RawInputRecord> raw_inputs_;
  std::int64_t next_raw_input_ = 0x50001;

  // Threads and time.
  std::deque<Thread> threads_;
  std::uint32_t turn_ = 0;        // the thread that may run
  std::size_t live_threads_ = 0;  // started, and neither ended nor parked
  bool process_ended_ = false;
  Micros start_{1'000'000};
  Micros now_{1'000'000};
  Micros time_limit_{std::chrono::hours(1)};
  std::vector<Scheduled> scheduled_;
  std::uint64_t next_order_ = 0;

  // Faults and the call log.
  std::map<Call, Fault> faults_;
  std::vector<std::string> calls_;
};

}  // namespace orvel
