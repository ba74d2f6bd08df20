#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

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

// A rectangle as an object of its four edges.
JsonWriter& write_rect(JsonWriter& json, std::string_view name, const Rect& rect);

// The text between the quotes of a JSON string.
std::string json_escape(std::string_view text);
void append_json_escaped(std::string& out, std::string_view text);

}  // namespace orvel
