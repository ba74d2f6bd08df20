#include "platform/sim_desktop.h"

#include <algorithm>
#include <utility>

#include "platform/sim/format.h"
#include "platform/text.h"

namespace orvel {

using namespace sim;

namespace {

constexpr Hmodule program_module = 0x400000;
constexpr Hmodule ntdll_module = 0x7FF800000000;
constexpr Handle stdin_handle = 0x50;
constexpr std::uint32_t console_mode = 0x1F7;

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
  // The thread that makes the desktop is the program's main thread, and runs first.
  threads_.push_back({.id = 1001, .native = std::this_thread::get_id()});
  turn_ = threads_.front().id;
}

// The process ends: threads still blocked in a call never come back from it, as when Windows
// ends a process under them. They leave the desktop before it goes and wait forever outside it.
SimDesktop::~SimDesktop() {
  Lock lock(mutex_);
  process_ended_ = true;
  turn_changed_.notify_all();
  turn_changed_.wait(lock, [this] { return live_threads_ == 0; });
}

SimDesktop::Entry SimDesktop::enter(Call call, std::string arguments) {
  Lock lock(mutex_);
  std::string entry(call_name(call));
  entry += '(';
  entry += arguments;
  entry += ')';
  calls_.push_back(std::move(entry));
  return {.lock = std::move(lock), .fault = take_fault(call)};
}

std::optional<LastError> SimDesktop::take_fault(Call call) {
  const auto found = faults_.find(call);
  if (found == faults_.end()) return std::nullopt;
  Fault& fault = found->second;
  if (fault.skip > 0) {
    --fault.skip;
    return std::nullopt;
  }
  const LastError error = fault.error;
  if (fault.remaining != always && --fault.remaining == 0) faults_.erase(found);
  return error;
}

void SimDesktop::fail_call(Call call, LastError error, int times, int after) {
  const std::lock_guard lock(mutex_);
  faults_[call] = {.error = error, .skip = after, .remaining = times};
}

std::vector<std::string> SimDesktop::calls() const {
  const std::lock_guard lock(mutex_);
  return calls_;
}

std::size_t SimDesktop::count_calls(Call call) const {
  const std::lock_guard lock(mutex_);
  const std::string prefix = std::string(call_name(call)) + "(";
  return static_cast<std::size_t>(
      std::ranges::count_if(calls_, [&](const std::string& c) { return c.starts_with(prefix); }));
}

void SimDesktop::clear_calls() {
  const std::lock_guard lock(mutex_);
  calls_.clear();
}

// ---- process and streams ----------------------------------------------------------------------

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

std::vector<SimDesktop::OutputLine> SimDesktop::stdout_lines() const {
  const std::lock_guard lock(mutex_);
  return stdout_lines_;
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

std::u16string SimDesktop::get_command_line_w() {
  const std::lock_guard lock(mutex_);
  return command_line_;
}

SysResult<void> SimDesktop::write_stdout(std::string_view utf8) {
  Lock lock(mutex_);
  if (const auto fault = take_fault(Call::WriteStdout)) return std::unexpected(*fault);
  if (stdout_closed_) return std::unexpected(error_no_data);
  const std::size_t before = stdout_.size();
  if (!stdout_piecewise_) {
    stdout_ += utf8;
  } else {
    for (const char byte : utf8) {
      stdout_ += byte;
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
    }
  }
  // Whole lines as they are completed, for tests that read when each was written.
  for (std::size_t end = stdout_.find('\n', before); end != std::string::npos;
       end = stdout_.find('\n', end + 1)) {
    stdout_lines_.push_back(
        {.at = now_ - start_, .text = stdout_.substr(line_start_, end - line_start_)});
    line_start_ = end + 1;
  }
  return {};
}

SysResult<void> SimDesktop::write_stderr(std::string_view utf8) {
  const std::lock_guard lock(mutex_);
  if (const auto fault = take_fault(Call::WriteStderr)) return std::unexpected(*fault);
  stderr_ += utf8;
  return {};
}

Handle SimDesktop::get_std_handle(std::uint32_t which) {
  Entry call = enter(Call::GetStdHandle, decimal(static_cast<std::int32_t>(which)));
  if (call.fault || which != win::std_input_handle) return win::invalid_handle_value;
  switch (stdin_.kind) {
    case StdinKind::none:
      return 0;
    case StdinKind::invalid:
      return win::invalid_handle_value;
    case StdinKind::pipe:
    case StdinKind::console:
      break;
  }
  return stdin_handle;
}

SysResult<std::uint32_t> SimDesktop::get_console_mode(Handle handle) {
  Entry call = enter(Call::GetConsoleMode, decimal(handle));
  if (call.fault) return std::unexpected(*call.fault);
  if (handle != stdin_handle || stdin_.kind != StdinKind::console) {
    return std::unexpected(win::error_invalid_handle);
  }
  return console_mode;
}

namespace {

// Hands over what the first piece holds, up to the buffer's size; the rest waits for the next read.
template <class Char>
std::size_t take_piece(std::deque<std::basic_string<Char>>& pieces, std::span<Char> buffer) {
  std::basic_string<Char>& piece = pieces.front();
  const std::size_t count = std::min(piece.size(), buffer.size());
  std::copy_n(piece.begin(), count, buffer.begin());
  piece.erase(0, count);
  if (piece.empty()) pieces.pop_front();
  return count;
}

}  // namespace

SysResult<std::size_t> SimDesktop::read_file(Handle handle, std::span<char> buffer) {
  Entry call = enter(Call::ReadFile, args(decimal(handle), decimal(std::ssize(buffer))));
  if (call.fault) return std::unexpected(*call.fault);
  if (handle != stdin_handle || stdin_.kind == StdinKind::console) {
    return std::unexpected(win::error_invalid_handle);
  }
  block_until(call.lock, [this] { return !stdin_.pipe.empty() || stdin_.ended; });
  if (!stdin_.pipe.empty()) return take_piece(stdin_.pipe, buffer);
  if (stdin_.end == PipeEnd::zero_bytes) return 0;
  return std::unexpected(win::error_broken_pipe);
}

SysResult<std::size_t> SimDesktop::read_console_w(Handle handle, std::span<char16_t> buffer) {
  Entry call = enter(Call::ReadConsoleW, args(decimal(handle), decimal(std::ssize(buffer))));
  if (call.fault) return std::unexpected(*call.fault);
  if (handle != stdin_handle || stdin_.kind != StdinKind::console) {
    return std::unexpected(win::error_invalid_handle);
  }
  // A console never ends by itself: the test types a Ctrl+Z, or ends it like a closed handle.
  block_until(call.lock, [this] { return !stdin_.console.empty() || stdin_.ended; });
  if (!stdin_.console.empty()) return take_piece(stdin_.console, buffer);
  return std::unexpected(win::error_invalid_handle);
}

void SimDesktop::set_stdin(StdinKind kind, PipeEnd end) {
  const std::lock_guard lock(mutex_);
  stdin_.kind = kind;
  stdin_.end = end;
}

void SimDesktop::write_stdin(std::string bytes) {
  const std::lock_guard lock(mutex_);
  if (!bytes.empty()) stdin_.pipe.push_back(std::move(bytes));
}

void SimDesktop::type_console(std::u16string text) {
  const std::lock_guard lock(mutex_);
  if (!text.empty()) stdin_.console.push_back(std::move(text));
}

void SimDesktop::end_stdin() {
  const std::lock_guard lock(mutex_);
  stdin_.ended = true;
}

SysResult<Hmodule> SimDesktop::get_module_handle_w(const char16_t* name) {
  Entry call =
      enter(Call::GetModuleHandleW, name == nullptr ? "null" : quoted(utf8_from_utf16_lossy(name)));
  if (call.fault) return std::unexpected(*call.fault);
  if (name == nullptr) return program_module;
  if (std::u16string_view(name) == u"ntdll.dll") return ntdll_module;
  return std::unexpected(error_mod_not_found);
}

SysResult<std::u16string> SimDesktop::format_message_w(std::uint32_t flags, Hmodule source,
                                                       std::uint32_t code) {
  Entry call = enter(Call::FormatMessageW,
                     args(hex(flags), hex(static_cast<std::uint64_t>(source)), hex(code)));
  if (call.fault) return std::unexpected(*call.fault);
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

SysResult<void> SimDesktop::set_process_dpi_awareness_context(DpiContext context) {
  Entry call = enter(Call::SetProcessDpiAwarenessContext, decimal(context));
  if (call.fault) return std::unexpected(*call.fault);
  process_dpi_ = context;
  return {};
}

SysResult<DpiContext> SimDesktop::set_thread_dpi_awareness_context(DpiContext context) {
  Entry call = enter(Call::SetThreadDpiAwarenessContext, decimal(context));
  if (call.fault) return std::unexpected(*call.fault);
  const auto [entry, inserted] = thread_dpi_.try_emplace(std::this_thread::get_id(), process_dpi_);
  return std::exchange(entry->second, context);
}

SysResult<void> SimDesktop::system_parameters_info_w(std::uint32_t action, std::uint32_t param,
                                                     const char16_t* text, std::uint32_t flags) {
  Entry call =
      enter(Call::SystemParametersInfoW,
            args(hex(action), decimal(param),
                 text == nullptr ? "null" : quoted(utf8_from_utf16_lossy(text)), hex(flags)));
  if (call.fault) return std::unexpected(*call.fault);
  return {};
}

}  // namespace orvel
