#include "text/charset.h"

#include <gtest/gtest.h>

#include "text/gbk.h"

namespace rankora::text {
namespace {

TEST(DecodeUtf8, ReplacesWhatIsNoCharacter) {
  EXPECT_EQ(DecodeUtf8("a\xE4\xB8\xAD"
                       "b"),
            u"a中b");
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(DecodeUtf8("a\xFF"
                       "b"),
            u"a\uFFFDb");
  EXPECT_EQ(DecodeUtf8("\xE4\xB8"), u"\uFFFD\uFFFD");            // cut off
  EXPECT_EQ(DecodeUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // a surrogate
}

TEST(EncodeUtf8, JoinsSurrogatePairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(EncodeUtf8(u""), "");
  EXPECT_EQ(EncodeUtf8(u"a\u00E9\u4E2D"), "a\xC3\xA9\xE4\xB8\xAD");
  EXPECT_EQ(EncodeUtf8(u"\u007F\u0080\u07FF\u0800\uFFFF"), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(EncodeUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  std::u16string text(u"x");
  text += static_cast<char16_t>(0xD83D);  // a high surrogate alone
  text += u'y';
  text += static_cast<char16_t>(0xDE00);  // a low surrogate alone
  text += static_cast<char16_t>(0xDE00);  // a low one before a high one is no pair
  text += static_cast<char16_t>(0xD83D);
  EXPECT_EQ(EncodeUtf8(text), "x\xEF\xBF\xBDy\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(DecodeUtf8(EncodeUtf8(u"\U0001F600\u6743\u91CD")), u"\U0001F600\u6743\u91CD");
  EXPECT_TRUE(IsUtf8(EncodeUtf8(text)));
}

TEST(DecodeCharset, ReadsTheGbFamilyLatinOneAndWhatThePlatformKnows) {
  std::u16string out;
  ASSERT_TRUE(DecodeCharset(Gbk("权重"), "GBK", out));
  EXPECT_EQ(out, u"权重");
  ASSERT_TRUE(DecodeCharset(Gbk("爱站"), "gb2312", out));
  EXPECT_EQ(out, u"爱站");
  // GB18030's four-byte characters: U+0080 and an emoji.
  ASSERT_TRUE(
      DecodeCharset("\x81\x30\x81\x30"
                    "a\x94\x39\xFC\x36",
                    "gb18030", out));
  EXPECT_EQ(out, u"\u0080a\U0001F600");
  // The first and the last four-byte character, and codes that are none:
  // each of their bytes is read on its own.
  ASSERT_TRUE(DecodeCharset("\x84\x31\xA4\x39\xE3\x32\x9A\x35", "gb18030", out));
  EXPECT_EQ(out, u"\uFFFF\U0010FFFF");
  ASSERT_TRUE(DecodeCharset("\x84\x31\xA5\x30|\xE3\x32\x9A\x36", "gb18030", out));
  EXPECT_EQ(out, u"\uFFFD1\uFFFD0|\uFFFD2\uFFFD6");
  ASSERT_TRUE(
      DecodeCharset("\xFF"
                    "x",
                    "gbk", out));
  EXPECT_EQ(out, u"\uFFFDx");
  ASSERT_TRUE(DecodeCharset("caf\xE9", "ISO-8859-1", out));
  EXPECT_EQ(out, u"caf\u00E9");
  ASSERT_TRUE(DecodeCharset("\xA4", "iso-8859-15", out));
  EXPECT_EQ(out, u"\u20AC");
  out = u"kept";
  EXPECT_FALSE(DecodeCharset("x", "no-such-charset", out));
  EXPECT_EQ(out, u"kept");
}

}  // namespace
}  // namespace rankora::text
