// Whole-process timing under Wine, against the stand-in shell's classic layout with Progman in
// front and the cursor over the desktop: from a wheel step sent with SendInput to its line read
// here, for `attach --forward-mouse` and for the least program that hears raw mouse input
// (orvel_mouse_floor.exe). Each run starts one of them and times several steps; the two take turns
// run by run, so that the machine's load falls on both alike.
//
//   scripts/wine-run build/windows/orvel_mouse_latency.exe [runs] [steps] [program]
//
// 8 runs of 5 steps by default. With `program` (an .exe beside this one, another build of the
// helper), that program is timed in the least program's place, with the helper's arguments.
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
using orvel::bench::serve_for;
using orvel::bench::TimedProcess;

namespace {

constexpr POINT over_desktop{.x = 400, .y = 300};

void send_mouse(DWORD flags, int data = 0) {
  INPUT input = mouse_input(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags, over_desktop, data);
  if (SendInput(1, &input, sizeof(INPUT)) != 1) report_failure("SendInput failed");
}

// Another process's window comes to the front once its thread has taken the request.
void bring_to_front(Shell& shell, HWND window) {
  for (int round = 0; round < 100; ++round) {
    SetForegroundWindow(window);
    shell.update();
    if (GetForegroundWindow() == window) return;
  }
  report_failure("cannot bring Progman to the front");
}

// The time from a wheel step to its line; lines of moves on the way are passed over.
double wheel_step(TimedProcess& process) {
  const double sent = now_ms();
  send_mouse(MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  for (;;) {
    const std::optional<Line> line = process.next_line(5'000);
    if (!line) report_failure("no line for a wheel step");
    if (line->text.starts_with(R"({"event":"mousewheel")")) return line->arrived_ms - sent;
  }
}

// One run: the program started, its first line, a step to warm it, then `steps` timed ones apart.
void run(Shell& shell, HWND progman, std::wstring_view program, const std::wstring& arguments,
         int steps, std::vector<double>& samples) {
  TimedProcess process(program, arguments);
  if (!process.next_line()) report_failure("no first line");
  bring_to_front(shell, progman);
  send_mouse(0);
  wheel_step(process);
  for (int step = 0; step < steps; ++step) {
    // Apart by more than the helper's 16 ms tick, at a place in it that changes.
    serve_for(25 + 7 * step % 16);
    samples.push_back(wheel_step(process));
  }
  process.write("detach\n");
  process.close_input();
  process.wait();
  shell.update();
  serve_for(20);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 8;
  const int steps = argc > 2 ? std::atoi(argv[2]) : 5;
  const bool other_helper = argc > 3;
  const std::wstring beside = other_helper ? widen(argv[3]) : L"orvel_mouse_floor.exe";
  Shell shell(Layout::classic);
  const HWND progman = FindWindowW(L"Progman", nullptr);
  const Window host = create_window(WS_POPUP, {0, 0, 640, 480});
  const std::wstring attach = L"attach --forward-mouse --hwnd " + widen(handle_text(host.get()));

  std::vector<double> helper, least;
  for (int round = 0; round < runs; ++round) {
    run(shell, progman, L"orvel-wallpaper-helper.exe", attach, steps, helper);
    // Given back, the host window would lie over the desktop: the least program hears the wheel
    // over the same windows as the helper.
    if (!other_helper) ShowWindow(host.get(), SW_HIDE);
    run(shell, progman, beside, other_helper ? attach : L"", steps, least);
  }

  std::printf("a wheel step to its line, %d runs of %d steps each:\n", runs, steps);
  orvel::bench::print_spread("attach --forward-mouse", helper);
  orvel::bench::print_spread(other_helper ? argv[3] : "least raw-input program", least);
  orvel::bench::print_ratio("wheel, helper / least program", helper, least);
  return 0;
}
