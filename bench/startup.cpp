// Whole-process timing under Wine: from starting `attach`, `inspect` and `refresh` to their first
// line, beside starting a program that does nothing, each the median of 20 runs in one go.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "wine_desktop/desktop.h"

namespace {

using namespace orvel::desktop;

constexpr int runs = 20;

double seconds_since(LARGE_INTEGER start) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

double median_ms(std::vector<double> samples) {
  std::ranges::sort(samples);
  return 1000 * (samples[samples.size() / 2 - 1] + samples[samples.size() / 2]) / 2;
}

}  // namespace

// A timing taken while the desktop failed means nothing.
void orvel::desktop::report_failure(const std::string& what) {
  std::fprintf(stderr, "startup: %s\n", what.c_str());
  std::exit(1);
}

// The median time from starting the helper with `arguments` to its first line, which must begin
// with `line`; an attach is then told to detach, and the helper waited for.
double to_first_line(const std::wstring& arguments, std::string_view line) {
  std::vector<double> samples;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    Process helper = start_helper(arguments);
    const std::optional<std::string> first = helper.read_line();
    samples.push_back(seconds_since(start));
    if (!first || !first->starts_with(line)) report_failure("no " + std::string(line) + " line");
    if (arguments.starts_with(L"attach")) helper.write("detach\n");
    helper.wait();
  }
  return median_ms(samples);
}

int main() {
  const Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP | WS_VISIBLE, {0, 0, 640, 480});
  const double attach =
      to_first_line(L"attach --hwnd " + widen(handle_text(host.get())), R"({"event":"attached")");
  const double inspect = to_first_line(L"inspect", R"({"event":"inspected")");
  const double refresh = to_first_line(L"refresh", R"({"event":"refreshed")");

  std::vector<double> trivial;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    Process nothing(L"orvel_trivial.exe", L"");
    nothing.wait();
    trivial.push_back(seconds_since(start));
  }

  std::printf(
      "start to its first line, median of %d runs: attach %.1f ms, inspect %.1f ms, "
      "refresh %.1f ms\n",
      runs, attach, inspect, refresh);
  std::printf("start to exit of a trivial program: median %.1f ms of %d runs\n", median_ms(trivial),
              runs);
  return 0;
}
