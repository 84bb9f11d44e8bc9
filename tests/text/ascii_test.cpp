#include "text/ascii.h"

#include <gtest/gtest.h>

#include "text/gbk.h"

namespace rankora::text {
namespace {

// In GBK 丄 is 0x81 0x41 ("A" as second byte) and 乤 is 0x81 0x61 ("a"):
// lower-casing a second byte would turn the one into the other.
const std::string kShang = "\x81\x41";
const std::string kJiu = "\x81\x61";

TEST(AsciiLower, ChangesOnlyCapitalLetters) {
  static_assert(AsciiLower('A') == 'a' && AsciiLower('Z') == 'z');
  static_assert(AsciiLower('@') == '@' && AsciiLower('[') == '[' && AsciiLower('a') == 'a');
  static_assert(AsciiLower(u'Q') == u'q' && AsciiLower(u'\uFF21') == u'\uFF21' && AsciiLower(u'\u00C0') == u'\u00C0');
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    EXPECT_EQ(AsciiLower(static_cast<char>(byte)), static_cast<char>(byte)) << byte;
  }
}

TEST(AsciiLowerCopy, LeavesTheSecondByteOfADoubleByteCharacterAlone) {
  EXPECT_EQ(AsciiLowerCopy("WWW.Example.COM"), "www.example.com");
  EXPECT_EQ(AsciiLowerCopy(kShang + "A" + Gbk("中文") + "Z"), kShang + "a" + Gbk("中文") + "z");
  // A lead byte at the end, or before a zero byte, is a character of its own.
  EXPECT_EQ(AsciiLowerCopy(std::string("A\x81\0B", 4)), std::string("a\x81\0b", 4));
  EXPECT_EQ(AsciiLowerCopy("X\x81"), "x\x81");
  // 0x80 and 0xFF are one-byte characters: the letter after them is one too.
  EXPECT_EQ(AsciiLowerCopy("\x80X\xFFY"), "\x80x\xFFy");
}

TEST(AsciiLowerCopy, ReadsRawBytesOneByOne) {
  // A UTF-8 page's bytes: 中 is E4 B8 AD, and AD would take the "C" along as
  // a GBK second byte.
  EXPECT_EQ(AsciiLowerCopy("\xE4\xB8\xAD"
                           "Charset",
                           ByteText::Raw),
            "\xE4\xB8\xAD"
            "charset");
  EXPECT_EQ(AsciiLowerCopy(kShang, ByteText::Raw), kJiu);
  EXPECT_EQ(AsciiLowerCopy(u"Content-TYPE \u00C9\uFF21"), u"content-type \u00C9\uFF21");
}

TEST(EqualsIgnoreAsciiCase, MatchesLettersOfEitherCaseAndDoubleByteCharactersExactly) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase("ScriptControl", "scriptcontrol"));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(Gbk("权重A"), Gbk("权重a")));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("abc", "abcd"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("a-b", "a_b"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(kShang, kJiu));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(kJiu, kShang));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(kShang, kJiu, ByteText::Raw));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(std::string("\x81\0A", 3), std::string("\x81\0a", 3)));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(u"JScript", u"jscript"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"\uFF2A", u"\uFF4A"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"\u00C9", u"\u00E9"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(u"ab", u"a"));
}

}  // namespace
}  // namespace rankora::text
