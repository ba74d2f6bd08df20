#include "platform/text.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

// UTF-16 that is not text is refused and replaced in the tests of the command line and the
// console channel; UTF-8 goes the other way only to a console.
TEST(Text, Utf8ToUtf16ReplacesEveryBadByte) {
  // A stray continuation byte, a cut sequence, an overlong form, an encoded surrogate, a code
  // point above U+10FFFF; whole characters of one to four bytes go through.
  EXPECT_EQ(utf16_from_utf8("\x80|a\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|"
                            "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"),
            u"\uFFFD|a\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|"
            u"\u00e9\u20ac\U0001F600");
}

}  // namespace
}  // namespace orvel
