#include "platform/text.h"

#include <gtest/gtest.h>

namespace orvel {
namespace {

TEST(Text, Utf16ToUtf8RefusesOrReplacesUnpairedSurrogates) {
  EXPECT_EQ(utf8_from_utf16(u"caf\u00e9 \u20ac \U0001F600"),
            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(utf8_from_utf16(u""), "");
  for (const std::u16string text : {u"a\xD800",
                                    u"\xDC00"
                                    u"a",
                                    u"\xD800\xD800\xDC00"}) {
    EXPECT_EQ(utf8_from_utf16(text), std::nullopt);
  }
  EXPECT_EQ(utf8_from_utf16_lossy(u"a\xD800z\xDFFF"), "a\xEF\xBF\xBDz\xEF\xBF\xBD");
  EXPECT_EQ(utf8_from_utf16_lossy(u"\xD800\xD800\xDC00"), "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(Text, Utf8ToUtf16ReplacesEveryBadByte) {
  EXPECT_EQ(utf16_from_utf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"),
            u"caf\u00e9 \u20ac \U0001F600");
  // A stray continuation byte, a cut sequence, an overlong form, an encoded surrogate.
  EXPECT_EQ(utf16_from_utf8("\x80"), u"\uFFFD");
  EXPECT_EQ(utf16_from_utf8("a\xe2\x82"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("\xc0\xaf"), u"\uFFFD\uFFFD");
  EXPECT_EQ(utf16_from_utf8("\xed\xa0\x80z"), u"\uFFFD\uFFFD\uFFFDz");
  EXPECT_EQ(utf16_from_utf8("\xf4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

}  // namespace
}  // namespace orvel
