#pragma once

#include <optional>
#include <utility>

#include "platform/platform.h"

namespace orvel {

// Something the program acquired from the system and must give back: held by one owner, released
// once, when the owner resets it or goes. `Release` is the platform call that gives it back.
template <class H, auto Release>
class Owned {
 public:
  Owned() = default;
  Owned(Platform& os, H handle) : os_(&os), handle_(handle) {}
  Owned(Owned&& other) noexcept : os_(other.os_), handle_(std::exchange(other.handle_, {})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      static_cast<void>(reset());
      os_ = other.os_;
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  ~Owned() { static_cast<void>(reset()); }

  // False when the release call failed; nothing is held afterwards either way.
  bool reset() {
    const std::optional<H> held = std::exchange(handle_, {});
    return !held || (os_->*Release)(*held).has_value();
  }
  explicit operator bool() const { return handle_.has_value(); }
  H get() const { return *handle_; }

 private:
  Platform* os_ = nullptr;
  std::optional<H> handle_;
};

using OwnedHook = Owned<Hhook, &HookCalls::unhook_win_event>;
using OwnedPowerNotification =
    Owned<PowerNotification, &MessageCalls::unregister_power_setting_notification>;
using OwnedDesktop = Owned<Hdesk, &WindowCalls::close_desktop>;
using OwnedWindow = Owned<Hwnd, &MessageCalls::destroy_window>;
using OwnedHandle = Owned<Handle, &ProcessCalls::close_handle>;

}  // namespace orvel
