#pragma once

#include <cstdint>
#include <optional>

#include "events/event.h"
#include "platform/owned.h"
#include "platform/platform.h"

namespace orvel {

// `attach --report-power`: where the power comes from, and the strongest saver that is on, as the
// system tells it; the main process stops animating while a saver is on.

// The system's own settings as last told.
struct PowerState {
  PowerSource source = PowerSource::ac;
  bool battery_saver = false;
  std::uint32_t energy_saver = 0;  // 0 off, 1 standard, 2 high savings
  bool operator==(const PowerState&) const = default;
};

// What the lines say: the source, and the strongest saver that is on.
Event::Power power_line(const PowerState& state);

// The state after a setting that the system sent; none for a setting that is none of these.
std::optional<PowerState> power_after(PowerState state, const PowerSetting& setting);

// The state as GetSystemPowerStatus gives it, before any setting has been sent: a short-term
// source (a UPS) and the energy saver are told only by their settings.
PowerState power_at_start(const SystemPowerStatus& status);

// The POWERBROADCAST_SETTING at `address`, which WM_POWERBROADCAST points to, read so that an
// address that points nowhere reads nothing; none without data.
std::optional<PowerSetting> read_power_setting(Platform& os, std::int64_t address);

// The "power" lines, on the monitor's thread: asks for the three settings (the energy saver's only
// where the system has it), and writes the state after "attached" and at each change.
class PowerWatch {
 public:
  PowerWatch(Platform& os, Hwnd message_window);

  void report();
  void on_power_setting(const PowerSetting& setting);

 private:
  Platform& os_;
  PowerState state_;
  std::optional<Event::Power> written_;
  OwnedPowerNotification source_, saver_, energy_saver_;
};

}  // namespace orvel
