#include "main/entry.h"

#include <optional>
#include <string>
#include <vector>

#include "attach/attach.h"
#include "attach/placement.h"
#include "cli/command_line.h"
#include "events/event.h"
#include "main/desktop_report.h"
#include "monitor/monitor.h"
#include "platform/text.h"

namespace orvel {
namespace {

constexpr std::string_view usage_text =
    "usage: orvel-wallpaper-helper attach --hwnd <n> [--forward-mouse] [--zguard]"
    " [--report-visibility] [--follow-display] [--span]\n"
    "                                     [--report-hangs] [--report-power] [--wait-shell <ms>]"
    " [--trace <file>]\n"
    "       orvel-wallpaper-helper move --hwnd <n> [--span]\n"
    "       orvel-wallpaper-helper detach --hwnd <n>\n"
    "       orvel-wallpaper-helper refresh\n"
    "       orvel-wallpaper-helper inspect [--hwnd <n>] [--spawn] [--wait-shell <ms>]\n";

int report(Platform& os, HelperError error) {
  emit_error(os, std::move(error));
  return exit_failure;
}

// Over the monitor nearest to the window, or all of them.
int run_move(Platform& os, Hwnd host, bool span) {
  // A handle that names no window would otherwise be reported as moved.
  if (!os.is_window(host)) {
    return report(
        os, {.message = std::string(window_gone_message), .kind = ErrorKind::window_not_found});
  }
  const std::optional<Rect> area = home_area(initial_home(os, host, span), list_monitors(os));
  if (!area) return report(os, {.message = "no monitor found", .kind = ErrorKind::fit_failed});
  // A window that could not be placed (one of a more privileged process) is not reported as moved.
  if (Result<Fit> fitted = fit_host(os, host, *area, Shown::show); !fitted) {
    return report(os, std::move(fitted.error()));
  }
  emit_event(os, Event::Moved{.hwnd = host});
  return exit_success;
}

int run_detach(Platform& os, Hwnd host) {
  if (Result<void> detached = detach_host(os, host); !detached) {
    return report(os, std::move(detached.error()));
  }
  emit_event(os, Event::Detached{.hwnd = host});
  // The window is back either way, so a failed repaint is reported but is no failure.
  if (Result<void> refreshed = refresh_wallpaper(os); !refreshed) {
    emit_error(os, std::move(refreshed.error()));
  }
  return exit_success;
}

int run_refresh(Platform& os) {
  if (Result<void> refreshed = refresh_wallpaper(os); !refreshed) {
    return report(os, std::move(refreshed.error()));
  }
  emit_event(os, Event::Refreshed{});
  return exit_success;
}

}  // namespace

int print_usage_error(Platform& os, std::string_view message) {
  std::string text(usage_text);
  text += "error: ";
  text += message;
  text += '\n';
  // Nobody is left to tell when standard error itself is gone.
  static_cast<void>(os.write_stderr(text));
  return exit_usage;
}

int run_program(Platform& os) {
  const std::vector<std::u16string> wide = split_command_line(os.get_command_line_w());
  std::vector<std::string> arguments;
  arguments.reserve(wide.size());
  for (const std::u16string& argument : wide) {
    std::optional<std::string> text = utf8_from_utf16(argument);
    if (!text) {
      return print_usage_error(
          os, "argument is not valid Unicode text: " + utf8_from_utf16_lossy(argument));
    }
    arguments.push_back(std::move(*text));
  }

  const auto command = parse_command_line(arguments);
  if (!command) return print_usage_error(os, command.error());

  // Rectangles are compared in physical pixels on every monitor; without this awareness the
  // program still runs, with whatever awareness the process has.
  static_cast<void>(
      os.set_process_dpi_awareness_context(win::dpi_awareness_context_per_monitor_aware_v2));

  switch (command->kind) {
    case CommandKind::attach:
      return run_attach_monitor(os, *command);
    case CommandKind::move:
      return run_move(os, *command->hwnd, command->span);
    case CommandKind::detach:
      return run_detach(os, *command->hwnd);
    case CommandKind::inspect:
      return run_inspect(os, command->hwnd, command->spawn, command->wait_shell_ms);
    case CommandKind::refresh:
      return run_refresh(os);
  }
  return exit_failure;
}

}  // namespace orvel
