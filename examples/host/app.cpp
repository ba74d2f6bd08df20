#include "app.h"

#include <cstdint>
#include <iostream>
#include <utility>
#include <variant>

namespace host_example {
namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};

std::intptr_t number(HWND window) {
  return reinterpret_cast<std::intptr_t>(window);
}

}  // namespace

App::App(Options options) : options_(std::move(options)) {
  start();
}

void App::start() {
  host_ = std::make_unique<HostWindow>(options_.draw_through_parent);
  helper_ = std::make_unique<Helper>(options_.helper, host_->handle(), options_.print_lines,
                                     options_.span, options_.wait_shell_ms);
  std::cerr << "started helper " << helper_->process_id() << " for host window "
            << number(host_->handle()) << '\n';
}

void App::take(const MSG& message) {
  if (message.message == helper_event_message) {
    const std::unique_ptr<Event> event(reinterpret_cast<Event*>(message.lParam));
    on_event(*event);
  } else if (message.message == helper_ended_message) {
    on_helper_ended();
  }
}

void App::close() {
  if (state_ == State::running) helper_->request_detach();
  state_ = State::closing;
}

void App::on_event(const Event& event) {
  std::visit(Overloaded{
                 [](const Attached& attached) {
                   std::cerr << "host window " << attached.hwnd << " is in WorkerW "
                             << attached.workerw << " (" << attached.mode << ")\n";
                 },
                 [this](const Detached&) { detached_ = true; },
                 [this](const MouseDown& down) {
                   if (host_) host_->ripple_at({.x = down.x, .y = down.y});
                 },
                 [this](const MouseWheel& wheel) {
                   if (host_) host_->turn(wheel.deltaY);
                 },
                 [this](const Visibility& visibility) {
                   visible_ = visibility.visible;
                   draw_if_worth_it();
                 },
                 [this](const Power& power) {
                   saving_ = power.saver != "off";
                   std::cerr << "power from " << power.source << ", saver " << power.saver
                             << (saving_ ? ": not animating\n" : ": animating\n");
                   draw_if_worth_it();
                 },
                 [this](const HelperError& error) {
                   std::cerr << "helper error: " << error.message << '\n';
                   if (error.kind != "window-destroyed" || state_ != State::running) return;
                   // The window went with the desktop layer, and its helper has nothing left to do:
                   // it is ended, and a new one is started for a new window once it has.
                   state_ = State::replacing;
                   host_.reset();
                   helper_->request_detach();
                 },
                 [](const OtherEvent&) {},
             },
             event);
}

// Frames nobody can see are not worth their CPU time, nor those of a user who saves energy.
void App::draw_if_worth_it() {
  const bool drawing = visible_ && !saving_;
  if (host_) host_->set_drawing(drawing);
  cpu_.enter(drawing);
}

void App::on_helper_ended() {
  const DWORD code = helper_->exit_code();
  std::cerr << "helper " << helper_->process_id() << " ended with exit code " << code << '\n';
  helper_.reset();
  switch (state_) {
    case State::replacing:
      state_ = State::running;
      start();
      break;
    case State::closing:
      std::cerr << cpu_.summary() << '\n';
      std::cerr << (detached_ ? "detached" : "not detached") << ", helper exit code " << code
                << '\n';
      PostQuitMessage(detached_ && code == 0 ? 0 : 1);
      break;
    case State::running:
      // It gave up on its own (an "error" line says why): nothing keeps the wallpaper now.
      PostQuitMessage(1);
      break;
  }
}

}  // namespace host_example
