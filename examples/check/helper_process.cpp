#include "helper_process.h"

namespace wallpaper_check {

HelperProcess::HelperProcess(const std::wstring& program, const std::wstring& arguments) {
  // Only the helper's ends are inherited: ours stay out of every process started later.
  SECURITY_ATTRIBUTES inheritable{.nLength = sizeof inheritable, .bInheritHandle = TRUE};
  HANDLE input_read = nullptr, input_write = nullptr, output_read = nullptr, output_write = nullptr;
  if (!CreatePipe(&input_read, &input_write, &inheritable, 0)) {
    start_error_ = failed("CreatePipe");
    return;
  }
  const Handle theirs_in(input_read);
  input_.reset(input_write);
  if (!CreatePipe(&output_read, &output_write, &inheritable, 0)) {
    start_error_ = failed("CreatePipe");
    return;
  }
  const Handle theirs_out(output_write);
  output_.reset(output_read);
  SetHandleInformation(input_.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(output_.get(), HANDLE_FLAG_INHERIT, 0);
  // Its usage errors go where ours go.
  HANDLE errors = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &errors,
                  0, TRUE, DUPLICATE_SAME_ACCESS);
  const Handle theirs_err(errors);

  std::wstring command_line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{.cb = sizeof startup,
                       .dwFlags = STARTF_USESTDHANDLES,
                       .hStdInput = input_read,
                       .hStdOutput = output_write,
                       .hStdError = errors};
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
    start_error_ = failed("CreateProcessW");
    return;
  }
  CloseHandle(started.hThread);
  process_.reset(started.hProcess);
}

HelperProcess::~HelperProcess() {
  input_.reset();
  if (process_ && !wait(after_ms(15'000))) TerminateProcess(process_.get(), 1);
}

std::optional<std::string> HelperProcess::next_line(ULONGLONG deadline) {
  std::size_t end = std::string::npos;
  serve_until(deadline, [&] {
    const bool more = take_output();
    end = pending_.find('\n');
    return end != std::string::npos || !more;
  });
  if (end == std::string::npos) return std::nullopt;
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  if (line.ends_with('\r')) line.pop_back();
  return line;
}

void HelperProcess::write(std::string_view text) {
  DWORD written = 0;
  // A helper that has ended cannot be written to; what it wrote before tells why.
  if (input_)
    WriteFile(input_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::optional<DWORD> HelperProcess::wait(ULONGLONG deadline) {
  DWORD code = 0;
  if (!process_ ||
      !serve_until(deadline,
                   [&] { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }) ||
      !GetExitCodeProcess(process_.get(), &code))
    return std::nullopt;
  return code;
}

bool HelperProcess::take_output() {
  if (!process_) return false;
  // Sampled first: whatever it wrote before it ended is in the pipe by now.
  const bool ended = WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
  DWORD available = 0, read = 0;
  if (!PeekNamedPipe(output_.get(), nullptr, 0, nullptr, &available, nullptr)) return false;
  if (available == 0) return !ended;
  const std::size_t before = pending_.size();
  pending_.resize(before + available);
  if (!ReadFile(output_.get(), &pending_[before], available, &read, nullptr)) read = 0;
  pending_.resize(before + read);
  return true;
}

}  // namespace wallpaper_check
