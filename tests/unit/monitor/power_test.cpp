#include "monitor/power.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

// Each of the system's settings moves its part of the state, and the line names the source and the
// strongest saver that is on; a setting of no interest moves nothing.
TEST(Power, TheLineNamesTheSourceAndTheStrongestSaverThatIsOn) {
  using enum PowerSource;
  using enum Saver;
  const auto with = [](const Guid& setting, std::uint32_t value) {
    return PowerSetting{.setting = setting, .value = value};
  };
  const struct {
    PowerSetting setting;
    Event::Power line;
  } steps[] = {
      {with(win::guid_acdc_power_source, 1), {battery, off}},
      {with(win::guid_power_saving_status, 1), {battery, on}},
      {with(win::guid_energy_saver_status, 2), {battery, high}},
      {with(win::guid_power_saving_status, 0), {battery, high}},
      {with(win::guid_energy_saver_status, 1), {battery, on}},
      {with(win::guid_energy_saver_status, 0), {battery, off}},
      {with(win::guid_acdc_power_source, 2), {ups, off}},
      {with(win::guid_acdc_power_source, 0), {ac, off}},
  };
  PowerState state = power_at_start({.on_ac = true, .saver_on = false});
  EXPECT_EQ(power_line(state), (Event::Power{ac, off}));
  for (const auto& step : steps) {
    const std::optional<PowerState> after = power_after(state, step.setting);
    ASSERT_TRUE(after);
    state = *after;
    EXPECT_EQ(power_line(state), step.line) << step.setting.value;
  }
  EXPECT_EQ(power_after(state, with(win::guid_console_display_state, 0)), std::nullopt);
  EXPECT_EQ(power_line(power_at_start({.on_ac = false, .saver_on = true})),
            (Event::Power{battery, on}));
}

}  // namespace
}  // namespace orvel
