// Whole-process timing under Wine, against the stand-in shell's classic layout: from starting
// `attach` to its "attached" line, run by run in turn with the least program that makes the same
// attach (orvel_attach_floor.exe) and with `attach --wait-shell` (which must cost nothing while the
// shell is there), so that the machine's load falls on all alike; then `inspect` and `refresh` to
// their first line, and a program that does nothing to its end.
//
//   scripts/wine-run build/windows/orvel_startup.exe [runs] [program]
//
// 30 runs by default. With `program` (an .exe beside this one, another build of the helper), that
// program is timed in the least program's place, with the same arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "timed_process.h"
#include "wine_desktop/desktop.h"

using namespace orvel::desktop;
using orvel::bench::Line;
using orvel::bench::now_ms;
using orvel::bench::TimedProcess;

namespace {

// From the start of `program` to its first line, which must begin with `line`. An attach is then
// told to detach; each run ends with the program, and with the shell past what that asked of it.
double to_first_line(Shell& shell, std::wstring_view program, const std::wstring& arguments,
                     std::string_view line) {
  const double start = now_ms();
  TimedProcess process(program, arguments);
  const std::optional<Line> first = process.next_line();
  if (!first || !first->text.starts_with(line))
    report_failure("no " + std::string(line) + " line: " + (first ? first->text : "none"));
  if (arguments.starts_with(L"attach")) process.write("detach\n");
  process.wait();
  shell.update();
  orvel::bench::serve_for(20);
  return first->arrived_ms - start;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 30;
  const std::wstring beside = argc > 2 ? widen(argv[2]) : L"orvel_attach_floor.exe";
  Shell shell(Layout::classic);
  const Window host = create_window(WS_POPUP | WS_VISIBLE, {0, 0, 640, 480});
  const std::wstring attach = L"attach --hwnd " + widen(handle_text(host.get()));
  constexpr std::string_view attached = R"({"event":"attached")";

  // One run of each first, that neither timing pays for what the first start of a program loads.
  to_first_line(shell, L"orvel-wallpaper-helper.exe", attach, attached);
  to_first_line(shell, beside, attach, attached);
  std::vector<double> helper, least, waiting, inspect, refresh, trivial;
  for (int run = 0; run < runs; ++run) {
    helper.push_back(to_first_line(shell, L"orvel-wallpaper-helper.exe", attach, attached));
    least.push_back(to_first_line(shell, beside, attach, attached));
    waiting.push_back(to_first_line(shell, L"orvel-wallpaper-helper.exe",
                                    attach + L" --wait-shell 10000", attached));
  }
  for (int run = 0; run < runs; ++run) {
    inspect.push_back(
        to_first_line(shell, L"orvel-wallpaper-helper.exe", L"inspect", R"({"event":"inspected")"));
    refresh.push_back(
        to_first_line(shell, L"orvel-wallpaper-helper.exe", L"refresh", R"({"event":"refreshed")"));
    const double start = now_ms();
    TimedProcess(L"orvel_trivial.exe", L"").wait();
    trivial.push_back(now_ms() - start);
  }

  std::printf("start to the first line, %d runs each:\n", runs);
  orvel::bench::print_spread("attach (helper)", helper);
  orvel::bench::print_spread(argc > 2 ? argv[2] : "attach (least program)", least);
  orvel::bench::print_spread("attach --wait-shell 10000 (helper)", waiting);
  orvel::bench::print_spread("inspect", inspect);
  orvel::bench::print_spread("refresh", refresh);
  orvel::bench::print_spread("trivial program, to its end", trivial);
  orvel::bench::print_ratio("attach, helper / least program", helper, least);
  orvel::bench::print_ratio("attach, --wait-shell / without", waiting, helper);
  return 0;
}
