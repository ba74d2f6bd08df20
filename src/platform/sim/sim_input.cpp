#include "platform/sim/format.h"
#include "platform/sim_desktop.h"

namespace orvel {

using namespace sim;

namespace {

constexpr std::uint16_t usage_page_generic = 0x01;
constexpr std::uint16_t usage_mouse = 0x02;
constexpr std::uint64_t rim_inputsink = 1;

}  // namespace

void SimDesktop::set_cursor(Point position) {
  const std::lock_guard lock(mutex_);
  cursor_ = position;
}

void SimDesktop::set_foreground(std::optional<Hwnd> window) {
  const std::lock_guard lock(mutex_);
  foreground_ = window;
}

void SimDesktop::set_swap_buttons(bool swapped) {
  const std::lock_guard lock(mutex_);
  swap_buttons_ = swapped;
}

// The record reaches the registered window in the background, as RIDEV_INPUTSINK asks.
void SimDesktop::mouse_input(const RawInputRecord& record) {
  const std::lock_guard lock(mutex_);
  if (raw_input_target_ == 0) return;
  const std::int64_t handle = next_raw_input_++;
  raw_inputs_[handle] = record;
  post_locked(raw_input_target_, {.window = raw_input_target_,
                                  .message = win::wm_input,
                                  .wparam = rim_inputsink,
                                  .lparam = handle});
}

SysResult<void> SimDesktop::register_raw_input_devices(std::span<const RawInputDevice> devices) {
  std::string described;
  for (const RawInputDevice& device : devices) {
    described +=
        args(hex(device.usage_page), hex(device.usage), hex(device.flags), decimal(device.target));
  }
  const Entry call = enter(Call::RegisterRawInputDevices, described);
  if (call.fault) return std::unexpected(*call.fault);
  for (const RawInputDevice& device : devices) {
    if (device.usage_page != usage_page_generic || device.usage != usage_mouse ||
        find(device.target) == nullptr) {
      return std::unexpected(error_invalid_parameter);
    }
    raw_input_target_ = device.target;
  }
  return {};
}

SysResult<RawInputRecord> SimDesktop::get_raw_input_data(std::int64_t raw_input) {
  const Entry call = enter(Call::GetRawInputData, decimal(raw_input));
  if (call.fault) return std::unexpected(*call.fault);
  const auto found = raw_inputs_.find(raw_input);
  if (found == raw_inputs_.end()) return std::unexpected(win::error_invalid_handle);
  return found->second;
}

SysResult<Point> SimDesktop::get_cursor_pos() {
  const Entry call = enter(Call::GetCursorPos, "");
  if (call.fault) return std::unexpected(*call.fault);
  return cursor_;
}

int SimDesktop::get_system_metrics(int index) {
  const Entry call = enter(Call::GetSystemMetrics, decimal(index));
  if (call.fault || index != win::sm_swapbutton) return 0;
  return swap_buttons_ ? 1 : 0;
}

}  // namespace orvel
