#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace orvel {

// Writes one JSON value into a text, member by member and element by element: objects and arrays
// nest, commas come where they belong, and text is escaped. Member names are the program's own and
// written as they are. Inside an array, values take no name.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  JsonWriter& begin_object(std::string_view name = {});
  JsonWriter& end_object();
  JsonWriter& begin_array(std::string_view name = {});
  JsonWriter& end_array();
  JsonWriter& number(std::string_view name, std::int64_t value);
  JsonWriter& text(std::string_view name, std::string_view value);
  JsonWriter& boolean(std::string_view name, bool value);

 private:
  JsonWriter& open(std::string_view name, char bracket);
  JsonWriter& close(char bracket);
  // The comma before every value but a container's first, and its name.
  void value(std::string_view name);

  std::string& out_;
  bool first_ = true;
};

// One JSON object on a line of its own: what `fill` writes into it, then a line feed.
template <class Fill>
std::string json_line(Fill&& fill, std::size_t capacity = 96) {
  std::string line;
  line.reserve(capacity);
  JsonWriter json(line);
  json.begin_object();
  fill(json);
  json.end_object();
  line += '\n';
  return line;
}

// A rectangle as an object of its four edges.
JsonWriter& write_rect(JsonWriter& json, std::string_view name, const Rect& rect);

}  // namespace orvel
