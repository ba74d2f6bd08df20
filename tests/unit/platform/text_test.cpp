#include "platform/text.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

// Refusing UTF-16 that is not text is proven with the command line and the console channel.
TEST(Text, ReplacesWhatIsNotTextInEitherDirection) {
  EXPECT_EQ(utf8_from_utf16_lossy(u"\xD800\xD800\xDC00z\xDFFF"),
            "\xEF\xBF\xBD\xF0\x90\x80\x80z\xEF\xBF\xBD");
  // A stray continuation byte, a cut sequence, an overlong form, an encoded surrogate, a code
  // point above U+10FFFF; whole characters of one to four bytes go through.
  EXPECT_EQ(utf16_from_utf8("\x80|a\xe2\x82|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80|"
                            "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"),
            u"\uFFFD|a\uFFFD\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|"
            u"\u00e9\u20ac\U0001F600");
}

}  // namespace
}  // namespace orvel
