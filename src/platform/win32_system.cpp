// The calls that a trace and an inspection need of the system: files, the environment, and the
// system's own version. The file calls tell no observer: the trace makes them itself.
#include <windows.h>

#include "platform/win32_handles.h"
#include "platform/win32_platform.h"

namespace orvel {
SysResult<Handle> Win32Platform::create_file_w(std::u16string_view path) {
  const std::u16string terminated(path);
  const HANDLE file = CreateFileW(to_wide(terminated.c_str()), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return last_error("CreateFileW");
  return handle_cast<Handle>(file);
}

SysResult<void> Win32Platform::set_file_pointer_ex(Handle file, std::int64_t offset,
                                                   std::uint32_t method) {
  if (!SetFilePointerEx(handle_cast<HANDLE>(file), LARGE_INTEGER{.QuadPart = offset}, nullptr,
                        method)) {
    return last_error("SetFilePointerEx");
  }
  return {};
}

SysResult<std::uint64_t> Win32Platform::get_file_size_ex(Handle file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle_cast<HANDLE>(file), &size)) return last_error("GetFileSizeEx");
  return static_cast<std::uint64_t>(size.QuadPart);
}

SysResult<void> Win32Platform::set_end_of_file(Handle file) {
  if (!SetEndOfFile(handle_cast<HANDLE>(file))) return last_error("SetEndOfFile");
  return {};
}

SysResult<void> Win32Platform::write_file(Handle file, std::string_view bytes) {
  DWORD written = 0;
  if (!WriteFile(handle_cast<HANDLE>(file), bytes.data(), static_cast<DWORD>(bytes.size()),
                 &written, nullptr)) {
    return last_error("WriteFile");
  }
  return {};
}

SysResult<void> Win32Platform::close_handle(Handle handle) {
  if (!CloseHandle(handle_cast<HANDLE>(handle))) return last_error("CloseHandle");
  return {};
}

namespace {

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

}  // namespace

SysResult<void> Win32Platform::lock_file_ex(Handle file, std::uint64_t offset,
                                            std::uint64_t length) {
  OVERLAPPED where = at(offset);
  if (!LockFileEx(handle_cast<HANDLE>(file), LOCKFILE_EXCLUSIVE_LOCK, 0, static_cast<DWORD>(length),
                  static_cast<DWORD>(length >> 32), &where)) {
    return last_error("LockFileEx");
  }
  return {};
}

SysResult<void> Win32Platform::unlock_file_ex(Handle file, std::uint64_t offset,
                                              std::uint64_t length) {
  OVERLAPPED where = at(offset);
  if (!UnlockFileEx(handle_cast<HANDLE>(file), 0, static_cast<DWORD>(length),
                    static_cast<DWORD>(length >> 32), &where)) {
    return last_error("UnlockFileEx");
  }
  return {};
}

std::uint32_t Win32Platform::get_current_process_id() {
  return static_cast<std::uint32_t>(GetCurrentProcessId());
}

SysResult<std::u16string> Win32Platform::get_environment_variable_w(std::u16string_view name) {
  const std::u16string terminated(name);
  std::u16string value(MAX_PATH, u'\0');
  for (;;) {
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableW(to_wide(terminated.c_str()),
                                                 reinterpret_cast<wchar_t*>(value.data()),
                                                 static_cast<DWORD>(value.size()));
    if (length == 0) return failed("GetEnvironmentVariableW");
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);
  }
}

SysResult<SystemVersion> Win32Platform::rtl_get_version() {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const SysResult<RtlGetVersionFunction> function =
      system_function<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
  if (!function) return told<SystemVersion>(std::unexpected(function.error()));
  OSVERSIONINFOW version{.dwOSVersionInfoSize = sizeof(version)};
  if (const LONG status = (*function)(&version); status != 0) {
    return told<SystemVersion>(std::unexpected(
        SysError{.call = "RtlGetVersion", .code = static_cast<std::uint32_t>(status)}));
  }
  return SystemVersion{.major = version.dwMajorVersion,
                       .minor = version.dwMinorVersion,
                       .build = version.dwBuildNumber};
}

}  // namespace orvel
