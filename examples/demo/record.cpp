#include "demo/record.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

namespace orvel::demo {
namespace {

// The event of a line; empty for a line that is not an event.
std::string event_name(std::string_view line) {
  const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
  return event.is_object() ? event.value("event", "") : "";
}

}  // namespace

std::optional<std::string> Lines::await(std::string_view name) {
  while (std::optional<std::string> line = take(15'000)) {
    if (event_name(*line) == name) return line;
  }
  std::fprintf(stderr, "demo: no \"%.*s\" event came\n", static_cast<int>(name.size()),
               name.data());
  return std::nullopt;
}

void Lines::pass(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    take(static_cast<DWORD>(deadline - now));
  }
}

std::string Lines::summary() const {
  std::string text;
  for (const auto& [name, count] : seen_) {
    text += (text.empty() ? "" : ", ") + name + " " + std::to_string(count);
  }
  return text;
}

std::optional<std::string> Lines::take(DWORD timeout_ms) {
  std::optional<std::string> line = example_.read_line(timeout_ms);
  if (!line) return line;
  std::printf("%s\n", line->c_str());
  std::fflush(stdout);
  recent_.push_back(*line);
  const std::string name = event_name(*line);
  auto known = seen_.begin();
  while (known != seen_.end() && known->first != name) ++known;
  if (known == seen_.end()) {
    seen_.emplace_back(name, 1);
  } else {
    ++known->second;
  }
  return line;
}

void Album::step(std::string name, std::string caption) {
  close();
  ++number_;
  name_ = std::move(name);
  caption_ = std::move(caption);
  lines_.take_recent();
  std::printf("-- %d. %s\n", number_, caption_.c_str());
  std::fflush(stdout);
}

Screenshot Album::shoot() {
  Screenshot shot = take_screenshot();
  written_ = save(shot, path(".bmp")) && written_;
  return shot;
}

bool Album::close() {
  if (name_.empty()) return written_;
  std::ofstream text(path(".txt"));
  text << caption_ << '\n';
  for (const std::string& line : lines_.take_recent()) text << line << '\n';
  written_ = static_cast<bool>(text) && written_;
  name_.clear();
  return written_;
}

std::string Album::path(std::string_view extension) const {
  return directory_ + "/" + std::to_string(number_) + "-" + name_ + std::string(extension);
}

}  // namespace orvel::demo
