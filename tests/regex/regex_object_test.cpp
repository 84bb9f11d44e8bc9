#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include "automation/apartment.h"
#include "automation/dispatch.h"
#include "text/gbk.h"

namespace rankora::regex {
namespace {

TEST(RegexObject, CreatesCaseInsensitiveAndGlobalByDefault) {
  RegexObject re;
  ASSERT_TRUE(re.Create("ab"));
  EXPECT_TRUE(re.Test("xABx"));
  EXPECT_EQ(re.Execute("ab AB aB"), 3);
  ASSERT_TRUE(re.Create("ab", true));
  EXPECT_FALSE(re.Test("AB"));
  ASSERT_TRUE(re.Create("ab", false, false));
  EXPECT_EQ(re.Execute("ab ab"), 1);
  EXPECT_FALSE(re.Create("(ab", false, false) && re.Test("ab"));
}

TEST(RegexObject, ReadsMatchesByNumberFromOne) {
  RegexObject re;
  EXPECT_EQ(re.Execute("a"), 0);  // never created
  EXPECT_EQ(re.GetMatch(1), "");
  ASSERT_TRUE(re.Create("(\\d)(x)?"));
  EXPECT_EQ(re.GetMatch(1), "");  // no Execute yet
  EXPECT_EQ(re.Execute("1 2x 3"), 3);
  EXPECT_EQ(re.GetMatch(3), "3");
  EXPECT_EQ(re.GetMatch(4), "");
  EXPECT_EQ(re.GetMatch(0), "");
  EXPECT_EQ(re.GetSubMatchCount(2), 2);
  EXPECT_EQ(re.GetSubMatch(2, 1), "2");
  EXPECT_EQ(re.GetSubMatch(2, 2), "x");
  EXPECT_EQ(re.GetSubMatch(1, 2), "");  // took no part
  EXPECT_EQ(re.GetSubMatch(1, 3), "");
  EXPECT_EQ(re.GetMatch(1), "1");
}

TEST(RegexObject, ReplacesMatchedTextsAsPlainText) {
  RegexObject re;
  ASSERT_TRUE(re.Create("\\d+"));
  std::string text = "a1b22c1";
  EXPECT_EQ(re.Replace(text, "X"), "aXbXcX");
  EXPECT_EQ(text, "aXbXcX");
  text = "a1b22c1";
  EXPECT_EQ(re.Replace(text), "abc");
  ASSERT_TRUE(re.Create("[a-z]+"));
  text = "ab AB ab";
  EXPECT_EQ(re.Replace(text, "-", false), "- - -");
}

TEST(RegexObject, ReplacesEachMatchedTextOnce) {
  RegexObject re;
  ASSERT_TRUE(re.Create("a"));
  // Replacing a second "a" again would only replace inside the replacements.
  std::string text = "aaa";
  ASSERT_EQ(re.Replace(text, "aa"), "aaaaaa");
  text = std::string(30, 'a');
  EXPECT_EQ(re.Replace(text, "aa"), std::string(60, 'a'));
  EXPECT_EQ(text, std::string(60, 'a'));
  // Without case, "a" and "A" are one text for the replacing.
  text = "aA";
  EXPECT_EQ(re.Replace(text, "xa", false), "xaxa");
}

TEST(RegexObject, StopsAReplaceThatGrowsPast32MiB) {
  RegexObject re;
  ASSERT_TRUE(re.Create("b"));
  std::string text = "ab";
  ASSERT_EQ(re.Replace(text, std::string(kMaxReplacedSize, 'x')), "");
  ASSERT_EQ(text, "ab");
  EXPECT_EQ(re.Replace(text, std::string(kMaxReplacedSize - 1, 'x')).size(), kMaxReplacedSize);
  EXPECT_EQ(text.size(), kMaxReplacedSize);
  // Growing on every pass: the text is left as it was before the first.
  ASSERT_TRUE(re.Create("[ab]"));
  text = "ab";
  EXPECT_EQ(re.Replace(text, std::string(1u << 20, 'b')), "");
  EXPECT_EQ(text, "ab");
  // A longer text given that does not grow is replaced as ever.
  text = std::string(kMaxReplacedSize, 'c') + "bb";
  EXPECT_EQ(re.Replace(text, "a"), std::string(kMaxReplacedSize, 'c') + "aa");
}

TEST(RegexObject, ReadsTheDictionaryParsersEntriesOfTheSecondForm) {
  RegexObject re;
  ASSERT_TRUE(re.Create("([0-9a-f]+?):(\\d):(\\{.*?\\})|([0-9a-f]+?):(\\d):([0-9a-f]+)"));
  EXPECT_EQ(re.Execute("a0b1:2:c3d4"), 1);
  EXPECT_EQ(re.GetSubMatch(1, 1), "");
  EXPECT_EQ(re.GetSubMatch(1, 2), "");
  EXPECT_EQ(re.GetSubMatch(1, 3), "");
  EXPECT_EQ(re.GetSubMatch(1, 4), "a0b1");
  EXPECT_EQ(re.GetSubMatch(1, 5), "2");
  EXPECT_EQ(re.GetSubMatch(1, 6), "c3d4");
  EXPECT_EQ(re.Execute("ab:5:{cd:1:ef},12:3:1"), 2);
  EXPECT_EQ(re.GetSubMatch(1, 3), "{cd:1:ef}");
  EXPECT_EQ(re.GetSubMatch(2, 6), "1");
}

TEST(ReplaceAll, NeverStartsInsideADoubleByteCharacter) {
  // 0x81 0x7C is one character whose second byte is "|".
  EXPECT_EQ(ReplaceAll("\x81|a|", "|", "-", true), "\x81|a-");
  // The euro sign 0x80 and 0xFF are single bytes: what follows them matches.
  EXPECT_EQ(ReplaceAll("\x80|a|\xFF|", "|", "-", true), "\x80-a-\xFF-");
  EXPECT_EQ(ReplaceAll("\x80"
                       "ab",
                       "AB", "x", false),
            "\x80x");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b", true), "ba");
  EXPECT_EQ(ReplaceAll("abc", "", "x", true), "abc");
  EXPECT_EQ(ReplaceAll("AbC", "abc", "x", false), "x");
  EXPECT_EQ(ReplaceAll(text::Gbk("权重权"), text::Gbk("权"), "x", true), "x" + text::Gbk("重") + "x");
}

TEST(RegexObject, CopiesShareTheExpressionAndKeepApartmentsBalanced) {
  const int before = automation::ApartmentCount();
  {
    RegexObject re;
    ASSERT_TRUE(re.Create("b"));
    re.Execute("abc");
    {
      const RegexObject copy = re;  // NOLINT(performance-unnecessary-copy-initialization): the copy is the test
    }
    EXPECT_EQ(re.GetMatch(1), "b");
  }
  EXPECT_EQ(automation::ApartmentCount(), before);
}

}  // namespace
}  // namespace rankora::regex
