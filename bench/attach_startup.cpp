// Whole-process timing under Wine: from starting `attach` to its "attached" line, beside starting
// a program that does nothing, each the median of 20 runs in one go.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
  std::fprintf(stderr, "attach_startup: %s\n", what.c_str());
  std::exit(1);
}

int main() {
  const Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP | WS_VISIBLE, {0, 0, 640, 480});
  const std::wstring attach = L"attach --hwnd " + widen(handle_text(host.get()));

  std::vector<double> to_attached;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    Process helper = start_helper(attach);
    const std::optional<std::string> line = helper.read_line();
    to_attached.push_back(seconds_since(start));
    if (!line || !line->starts_with("{\"event\":\"attached\"")) {
      std::fprintf(stderr, "run %d: no \"attached\" line\n", run);
      return 1;
    }
    helper.write("detach\n");
    helper.wait();
  }

  std::vector<double> trivial;
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    Process nothing(L"orvel_trivial.exe", L"");
    nothing.wait();
    trivial.push_back(seconds_since(start));
  }

  std::printf("start to \"attached\": median %.1f ms of %d runs\n", median_ms(to_attached), runs);
  std::printf("start to exit of a trivial program: median %.1f ms of %d runs\n", median_ms(trivial),
              runs);
  return 0;
}
