#include "helper.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <system_error>

#include "events.h"

namespace host_example {
namespace {

[[noreturn]] void fail(const char* call) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), call);
}

// Our end of each pipe stays out of the helper; only its own end is inherited.
void make_pipe(HANDLE& read, HANDLE& write, bool helper_reads) {
  SECURITY_ATTRIBUTES inheritable{.nLength = sizeof inheritable, .bInheritHandle = TRUE};
  if (!CreatePipe(&read, &write, &inheritable, 0)) fail("CreatePipe");
  SetHandleInformation(helper_reads ? write : read, HANDLE_FLAG_INHERIT, 0);
}

void write_line(std::string_view line) {
  const std::string text = std::string(line) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

}  // namespace

Helper::Helper(const std::wstring& program, HWND host, bool print_lines, bool span,
               unsigned long wait_shell_ms) {
  HANDLE input_read = nullptr;
  HANDLE output_write = nullptr;
  make_pipe(input_read, input_, true);
  make_pipe(output_, output_write, false);
  // Usage text and command-line errors go where ours go.
  HANDLE errors = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &errors,
                  0, TRUE, DUPLICATE_SAME_ACCESS);

  std::wstring command_line =
      L"\"" + program + L"\" attach --hwnd " +
      std::to_wstring(reinterpret_cast<std::intptr_t>(host)) +
      L" --forward-mouse --zguard --report-visibility --report-power" + (span ? L" --span" : L"") +
      (wait_shell_ms ? L" --wait-shell " + std::to_wstring(wait_shell_ms) : L"");
  STARTUPINFOW startup{.cb = sizeof startup,
                       .dwFlags = STARTF_USESTDHANDLES,
                       .hStdInput = input_read,
                       .hStdOutput = output_write,
                       .hStdError = errors};
  PROCESS_INFORMATION started{};
  const BOOL created = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
  // The helper has its own copies now; ours would keep its input and our reader's output open.
  CloseHandle(input_read);
  CloseHandle(output_write);
  if (errors) CloseHandle(errors);
  if (!created) {
    CloseHandle(input_);
    CloseHandle(output_);
    fail("CreateProcessW");
  }
  CloseHandle(started.hThread);
  process_ = started.hProcess;
  process_id_ = started.dwProcessId;
  reader_ = std::thread(&Helper::read_events, this, GetCurrentThreadId(), print_lines);
}

Helper::~Helper() {
  CloseHandle(input_);
  reader_.join();
  CloseHandle(output_);
  CloseHandle(process_);
}

void Helper::request_detach() {
  constexpr std::string_view line = "detach\n";
  DWORD written = 0;
  // A helper that has ended already cannot be written to; its end is reported all the same.
  WriteFile(input_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

DWORD Helper::exit_code() {
  // Its output has ended, so it is on its way out.
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

void Helper::read_events(DWORD receiver, bool print_lines) {
  std::string pending;
  char buffer[4096];
  DWORD read = 0;
  // A pipe ends with a failed read (Windows) or an empty one (Wine).
  while (ReadFile(output_, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    pending.append(buffer, read);
    for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
      const std::string_view line = std::string_view(pending).substr(0, end);
      if (print_lines) write_line(line);
      if (std::optional<Event> event = parse_event(line)) {
        auto message = std::make_unique<Event>(std::move(*event));
        if (PostThreadMessageW(receiver, helper_event_message, 0,
                               reinterpret_cast<LPARAM>(message.get()))) {
          static_cast<void>(message.release());
        }
      }
      pending.erase(0, end + 1);
    }
  }
  PostThreadMessageW(receiver, helper_ended_message, 0, 0);
}

}  // namespace host_example
