// What the least programs share, made as the helper makes it: their hidden window, and their lines
// on standard output.
#pragma once

#include <windows.h>

#include <string_view>

namespace orvel::least {

// A hidden top-level window of a class of its own, whose messages go to `procedure`.
inline HWND create_hidden_window(const wchar_t* class_name, WNDPROC procedure) {
  const WNDCLASSW window_class{.lpfnWndProc = procedure,
                               .hInstance = GetModuleHandleW(nullptr),
                               .lpszClassName = class_name};
  RegisterClassW(&window_class);
  return CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                         window_class.hInstance, nullptr);
}

inline void write_line(std::string_view line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

}  // namespace orvel::least
