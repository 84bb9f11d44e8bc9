#include "text/gbk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rankora::text {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// 中 is D6 D0, 文 is CE C4 in GBK.
const std::string kZhong = "\xD6\xD0";
const std::string kWen = "\xCE\xC4";

TEST(Split, KeepsInnerEmptyPiecesAndDropsAnEmptyRemainder) {
  EXPECT_THAT(Split("", "\r\n"), IsEmpty());
  EXPECT_THAT(Split("a\r\nb", "\r\n"), ElementsAre("a", "b"));
  EXPECT_THAT(Split("a\r\nb\r\n", "\r\n"), ElementsAre("a", "b"));
  EXPECT_THAT(Split("a\r\n\r\nb", "\r\n"), ElementsAre("a", "", "b"));
  EXPECT_THAT(Split("a\r\n\r\n", "\r\n"), ElementsAre("a", ""));
  EXPECT_THAT(Split("\r\n", "\r\n"), ElementsAre(""));
  EXPECT_THAT(Split("\r\na", "\r\n"), ElementsAre("", "a"));
  EXPECT_THAT(Split("abc", "\r\n"), ElementsAre("abc"));
}

TEST(Split, TakesOnlyTheTextBeforeTheFirstSeparatorAsFirstPiece) {
  EXPECT_THAT(Split("www.a.com | 7", " | "), ElementsAre("www.a.com", "7"));
  EXPECT_THAT(Split("www.a.com|7", " | "), ElementsAre("www.a.com|7"));
  EXPECT_THAT(Split(" a | b | c ", " | "), ElementsAre(" a", "b", "c "));
  // A separator longer than what remains is never compared.
  EXPECT_THAT(Split("a |", " | "), ElementsAre("a |"));
}

TEST(Split, NeverMatchesInsideADoubleByteCharacter) {
  // 0x81 0x7C is one character whose second byte is "|".
  const std::string trailBar = "\x81|";
  EXPECT_THAT(Split("a" + trailBar + "b", "|"), ElementsAre("a" + trailBar + "b"));
  EXPECT_THAT(Split(trailBar + "|x", "|"), ElementsAre(trailBar, "x"));
  // A separator right before and after double-byte characters.
  EXPECT_THAT(Split(kZhong + "\r\n" + kWen, "\r\n"), ElementsAre(kZhong, kWen));
  EXPECT_THAT(Split(kZhong + kWen, "\xD0\xCE"), ElementsAre(kZhong + kWen));
  EXPECT_THAT(Split(kZhong + kWen, kWen), ElementsAre(kZhong));
  // A lead byte at the very end stands alone.
  EXPECT_THAT(Split("a|\xD6", "|"), ElementsAre("a", "\xD6"));
}

TEST(Split, EndsAPieceAfterTheEuroSign) {
  // 0x80 is the euro sign, one byte: the line break after it still counts.
  EXPECT_THAT(Split("euro.com\x80\r\nwww.ok.com", "\r\n"), ElementsAre("euro.com\x80", "www.ok.com"));
  EXPECT_THAT(Split("a\xFF|b", "|"), ElementsAre("a\xFF", "b"));
  EXPECT_THAT(Split("\x80\x80|" + kZhong, "|"), ElementsAre("\x80\x80", kZhong));
}

TEST(Split, EmptySeparatorGivesTheWholeText) { EXPECT_THAT(Split("abc", ""), ElementsAre("abc")); }

TEST(Find, ReturnsOneBasedPositionsFromTheStart) {
  EXPECT_EQ(Find("abcabc", "bc"), 2);
  EXPECT_EQ(Find("abcabc", "bc", 3), 5);
  EXPECT_EQ(Find("abcabc", "bc", 5), 5);
  EXPECT_EQ(Find("abcabc", "bc", 6), -1);
  EXPECT_EQ(Find("abcabc", "bc", 0), 2);
  EXPECT_EQ(Find("abcabc", "bc", -7), 2);
  EXPECT_EQ(Find("abc", "x"), -1);
  EXPECT_EQ(Find("abc", "abcd"), -1);
  EXPECT_EQ(Find("", "a"), -1);
}

TEST(Find, EmptyPartFindsPositionOneWhileBytesRemain) {
  EXPECT_EQ(Find("abc", ""), 1);
  EXPECT_EQ(Find("abc", "", 3), 1);
  EXPECT_EQ(Find("abc", "", 4), -1);
  EXPECT_EQ(Find("", ""), -1);
}

TEST(Find, IgnoresCaseOfAsciiLettersOnly) {
  EXPECT_EQ(Find("xxSet-Cookie: a", "set-cookie:", 1, true), 3);
  EXPECT_EQ(Find("xxSet-Cookie: a", "set-cookie:"), -1);
  // 0x81 0x61 and 0x81 0x41 are different characters whose second bytes are
  // "a" and "A": they must not match each other even when ignoring case.
  EXPECT_EQ(Find("\x81"
                 "a",
                 "\x81"
                 "A",
                 1, true),
            -1);
  EXPECT_EQ(Find("\x81"
                 "a",
                 "\x81"
                 "a",
                 1, true),
            1);
}

TEST(Find, NeverStartsAMatchOnASecondByte) {
  // The second byte of 0x81 0x7C is "|".
  EXPECT_EQ(Find("\x81|", "|"), -1);
  EXPECT_EQ(Find("\x81||", "|"), 3);
  // Even when the start position points at the second byte.
  EXPECT_EQ(Find("\x81|x", "|", 2), -1);
  EXPECT_EQ(Find(kZhong + kWen, "\xD0\xCE"), -1);
  EXPECT_EQ(Find(kZhong + kWen, kWen), 3);
}

TEST(CharLength, TakesLeadBytesFrom81ToFEOnly) {
  EXPECT_EQ(CharLength("\x80|", 0), 1u);
  EXPECT_EQ(CharLength("\xFF|", 0), 1u);
  EXPECT_EQ(CharLength("\x81|", 0), 2u);
  EXPECT_EQ(CharLength("\xFE|", 0), 2u);
  EXPECT_EQ(CharLength(std::string("\xD6\0", 2), 0), 1u);
}

TEST(Find, MatchesRightAfterTheEuroSignAndFF) {
  EXPECT_EQ(Find("\x80|", "|"), 2);
  EXPECT_EQ(Find("\xFF|", "|"), 2);
  EXPECT_EQ(Find("a\x80" + kZhong, kZhong), 3);
  // Letters after them are one-byte letters, so case is ignored.
  EXPECT_EQ(Find("\x80"
                 "a",
                 "\x80"
                 "A",
                 1, true),
            1);
  EXPECT_EQ(Find("x\xFF"
                 "b",
                 "\xFF"
                 "B",
                 1, true),
            2);
  EXPECT_EQ(ReplaceFirst("\x80|", "|", "x"), "\x80x");
}

TEST(LeftAndMid, CutByBytesWithTheirEdgeRules) {
  EXPECT_EQ(Left("abc", 2), "ab");
  EXPECT_EQ(Left("abc", 0), "");
  EXPECT_EQ(Left("abc", -1), "");
  EXPECT_EQ(Left("abc", 9), "abc");

  EXPECT_EQ(Mid("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Mid("abcdef", 5, 9), "ef");
  EXPECT_EQ(Mid("abcdef", 6, 1), "f");
  EXPECT_EQ(Mid("abcdef", 7, 1), "");
  EXPECT_EQ(Mid("abcdef", 0, 3), "");
  EXPECT_EQ(Mid("abcdef", 2, 0), "");
  EXPECT_EQ(Mid("abcdef", 2, -1), "");
  EXPECT_EQ(Mid("", 1, 1), "");
}

TEST(ReplaceFirst, ReplacesOnlyTheFirstExactOccurrence) {
  EXPECT_EQ(ReplaceFirst("pid=2;id=1;", "id=1;", "id=3;"), "pid=2;id=3;");
  EXPECT_EQ(ReplaceFirst("a=1;a=1;", "a=1;", ""), "a=1;");
  EXPECT_EQ(ReplaceFirst("abc", "B", "x"), "abc");
  EXPECT_EQ(ReplaceFirst("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceFirst("\x81|", "|", "x"), "\x81|");
}

TEST(StartsWith, ComparesBytesExactly) {
  EXPECT_TRUE(StartsWith("Set-Cookie: a", "Set-Cookie:"));
  EXPECT_FALSE(StartsWith("set-cookie: a", "Set-Cookie:"));
  EXPECT_TRUE(StartsWith("abc", ""));
  EXPECT_FALSE(StartsWith("ab", "abc"));
}

TEST(UpperAscii, LeavesSecondBytesAlone) {
  EXPECT_EQ(UpperAscii("abc-XYZ 09"), "ABC-XYZ 09");
  EXPECT_EQ(UpperAscii("\x81"
                       "a"
                       "b"),
            "\x81"
            "a"
            "B");
  EXPECT_EQ(UpperAscii(kZhong + "z"), kZhong + "Z");
  EXPECT_EQ(UpperAscii("z\xD6"), "Z\xD6");
  EXPECT_EQ(UpperAscii("\x80z\xFFy"), "\x80Z\xFFY");
}

TEST(Conversion, GbkRoundTripsThroughUtf16) {
  const std::string chinese = Gbk("开始验证");
  EXPECT_EQ(chinese, "\xBF\xAA\xCA\xBC\xD1\xE9\xD6\xA4");
  EXPECT_EQ(ToUtf16(chinese), u"开始验证");
  EXPECT_EQ(FromUtf16(u"开始验证"), chinese);
  const std::string mixed = Gbk("www.百度.com | 7\r\n权重：１２");
  EXPECT_EQ(FromUtf16(ToUtf16(mixed)), mixed);
  EXPECT_EQ(ToUtf8(mixed), "www.百度.com | 7\r\n权重：１２");
  EXPECT_EQ(ToUtf16(""), u"");
  EXPECT_EQ(FromUtf16(u""), "");
  // The euro sign is the single byte 0x80, as code page 936 has it.
  EXPECT_EQ(ToUtf16("euro.com\x80\r\n"), u"euro.com\u20AC\r\n");
  EXPECT_EQ(FromUtf16(u"\u20AC" + ToUtf16(kZhong)), "\x80" + kZhong);
  EXPECT_EQ(ToUtf8("5\x80"), "5\xE2\x82\xAC");
}

TEST(Conversion, WhatGbkCannotHoldBecomesOneQuestionMark) {
  // An emoji (a surrogate pair), a Korean syllable and a lone surrogate.
  EXPECT_EQ(FromUtf16(u"a\U0001F600b"), "a?b");
  EXPECT_EQ(FromUtf16(u"x\uD55Cy"), "x?y");
  EXPECT_EQ(FromUtf16(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
  EXPECT_EQ(Gbk("a😀b"), "a?b");
  // Bytes that are no GBK character.
  EXPECT_EQ(ToUtf16("a\xFF"
                    "b"),
            u"a?b");
  EXPECT_EQ(ToUtf16("ab\xD6"), u"ab?");
  // Never a look-alike: letters with accents GBK lacks are no plain letters,
  // and a code page's one-way code (0xFF for U+F8F5) is no code either.
  EXPECT_EQ(FromUtf16(u"\u00C0\u00C5"), "??");
  EXPECT_EQ(FromUtf16(u"\uF8F5"), "?");
  // UTF-8 that is no character: one "?" for what looks like one.
  EXPECT_EQ(Gbk("a\xE4\xB8"), "a??");
  EXPECT_EQ(Gbk("\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80"), "?|?|?");
  EXPECT_EQ(Gbk("\xE4\x41\xE4\xB8\xAD"), "?A" + kZhong);
  EXPECT_EQ(ToUtf8("a\xFF\xD6"), "a??");
  // The long GBK conversion keeps going after a bad character.
  EXPECT_EQ(ToUtf16(std::string(5000, 'x') + "\xFF" + kZhong), std::u16string(5000, u'x') + u"?中");
}

}  // namespace
}  // namespace rankora::text
