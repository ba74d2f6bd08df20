#include "monitor/window_messages.h"

namespace orvel {

bool display_changed(std::uint32_t message, std::uint64_t wparam) {
  return message == win::wm_displaychange || message == win::wm_dpichanged ||
         (message == win::wm_settingchange && wparam == win::spi_setworkarea) ||
         (message == win::wm_powerbroadcast && wparam == win::pbt_apmresumeautomatic);
}

bool dispatches_queued(const Message& message) {
  if (message.message == win::wm_powerbroadcast && message.wparam == win::pbt_powersettingchange) {
    return false;
  }
  return message.message != win::wm_timer || message.lparam == 0;
}

}  // namespace orvel
