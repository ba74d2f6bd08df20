#include "events/json.h"

#include <charconv>

namespace orvel {
namespace {

// The text between the quotes of a JSON string.
void append_json_escaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static constexpr char digits[] = "0123456789abcdef";
          out += "\\u00";
          out += digits[(c >> 4) & 0xF];
          out += digits[c & 0xF];
        } else {
          out += c;  // UTF-8 sequences pass through byte by byte
        }
    }
  }
}

}  // namespace

JsonWriter& JsonWriter::begin_object(std::string_view name) {
  return open(name, '{');
}

JsonWriter& JsonWriter::end_object() {
  return close('}');
}

JsonWriter& JsonWriter::begin_array(std::string_view name) {
  return open(name, '[');
}

JsonWriter& JsonWriter::end_array() {
  return close(']');
}

JsonWriter& JsonWriter::open(std::string_view name, char bracket) {
  value(name);
  out_ += bracket;
  first_ = true;
  return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
  out_ += bracket;
  first_ = false;
  return *this;
}

JsonWriter& JsonWriter::number(std::string_view name, std::int64_t number) {
  value(name);
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
  return *this;
}

JsonWriter& JsonWriter::text(std::string_view name, std::string_view text) {
  value(name);
  out_ += '"';
  append_json_escaped(out_, text);
  out_ += '"';
  return *this;
}

JsonWriter& JsonWriter::boolean(std::string_view name, bool yes) {
  value(name);
  out_ += yes ? "true" : "false";
  return *this;
}

void JsonWriter::value(std::string_view name) {
  if (!first_) out_ += ',';
  first_ = false;
  if (name.empty()) return;
  out_ += '"';
  out_ += name;
  out_ += "\":";
}

JsonWriter& write_rect(JsonWriter& json, std::string_view name, const Rect& rect) {
  return json.begin_object(name)
      .number("left", rect.left)
      .number("top", rect.top)
      .number("right", rect.right)
      .number("bottom", rect.bottom)
      .end_object();
}

}  // namespace orvel
