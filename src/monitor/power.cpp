#include "monitor/power.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orvel {

Event::Power power_line(const PowerState& state) {
  const Saver saver = state.energy_saver >= 2                          ? Saver::high
                      : state.energy_saver == 1 || state.battery_saver ? Saver::on
                                                                       : Saver::off;
  return {.source = state.source, .saver = saver};
}

std::optional<PowerState> power_after(PowerState state, const PowerSetting& setting) {
  if (setting.setting == win::guid_acdc_power_source) {
    state.source = setting.value == 0   ? PowerSource::ac
                   : setting.value == 1 ? PowerSource::battery
                                        : PowerSource::ups;
  } else if (setting.setting == win::guid_power_saving_status) {
    state.battery_saver = setting.value != 0;
  } else if (setting.setting == win::guid_energy_saver_status) {
    state.energy_saver = setting.value;
  } else {
    return std::nullopt;
  }
  return state;
}

PowerState power_at_start(const SystemPowerStatus& status) {
  return {.source = status.on_ac ? PowerSource::ac : PowerSource::battery,
          .battery_saver = status.saver_on};
}

// The system hands over the setting's GUID and data length, then the data. Only the system sends
// it, to a window that asked for it; the message itself can come from anyone, so its pointer is
// followed only by copies that fail where nothing can be read.
std::optional<PowerSetting> read_power_setting(Platform& os, std::int64_t address) {
  std::array<std::byte, sizeof(Guid) + sizeof(std::uint32_t)> head{};
  if (!os.read_own_memory(address, head)) return std::nullopt;
  PowerSettingHeader header;
  std::memcpy(&header.setting, head.data(), sizeof(Guid));
  std::memcpy(&header.data_length, head.data() + sizeof(Guid), sizeof(std::uint32_t));
  if (header.data_length == 0) return std::nullopt;
  std::array<std::byte, sizeof(std::uint32_t)> data{};
  const std::size_t length = std::min<std::size_t>(header.data_length, data.size());
  if (!os.read_own_memory(address + static_cast<std::int64_t>(head.size()),
                          std::span(data).first(length))) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  std::memcpy(&value, data.data(), sizeof(value));
  return PowerSetting{.setting = header.setting, .value = value};
}

PowerWatch::PowerWatch(Platform& os, Hwnd message_window) : os_(os) {
  const auto ask = [&](const Guid& setting) {
    const SysResult<PowerNotification> registered = os.register_power_setting_notification(
        message_window, setting, win::device_notify_window_handle);
    return registered ? OwnedPowerNotification(os, *registered) : OwnedPowerNotification();
  };
  source_ = ask(win::guid_acdc_power_source);
  saver_ = ask(win::guid_power_saving_status);
  energy_saver_ = ask(win::guid_energy_saver_status);
  if (const SysResult<SystemPowerStatus> status = os.get_system_power_status()) {
    state_ = power_at_start(*status);
  }
}

void PowerWatch::report() {
  const Event::Power line = power_line(state_);
  if (written_ == line) return;
  written_ = line;
  emit_event(os_, line);
}

void PowerWatch::on_power_setting(const PowerSetting& setting) {
  if (const std::optional<PowerState> after = power_after(state_, setting)) {
    state_ = *after;
    report();
  }
}

}  // namespace orvel
