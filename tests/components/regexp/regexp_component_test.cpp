#include "components/regexp/regexp_component.h"

#include <gtest/gtest.h>

#include "automation/dispatch.h"
#include "automation/reading.h"

namespace rankora::components {
namespace {

using namespace automation;

class RegExpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Create(re_, kRegExpProgId)); }
  void Set(const std::string& pattern, bool global = false, bool ignoreCase = false, bool multiline = false) {
    ASSERT_TRUE(WriteProperty(re_, "Pattern", {pattern}));
    ASSERT_TRUE(WriteProperty(re_, "Global", {global}));
    ASSERT_TRUE(WriteProperty(re_, "IgnoreCase", {ignoreCase}));
    ASSERT_TRUE(WriteProperty(re_, "Multiline", {multiline}));
  }
  std::vector<std::string> Values(const std::string& text) {
    const Object matches = CallObjectMethod(re_, "Execute", {text});
    std::vector<std::string> values;
    const int count = static_cast<int>(ReadNumberProperty(matches, "Count"));
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
      values.push_back(ReadTextProperty(ReadObjectProperty(matches, "Item", {i}), "Value"));
    return values;
  }
  std::string Replace(const std::string& text, const std::string& with) {
    return CallTextMethod(re_, "Replace", {text, with});
  }
  Object re_;
};

TEST_F(RegExpTest, StartsEmptyAndNotGlobal) {
  EXPECT_EQ(ReadTextProperty(re_, "Pattern"), "");
  for (const char* flag : {"IgnoreCase", "Global", "Multiline"}) EXPECT_FALSE(ReadBoolProperty(re_, flag)) << flag;
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"anything"}));
  Set("", true);
  EXPECT_EQ(Values("ab").size(), 3u);  // empty at each position
}

TEST_F(RegExpTest, FindsOneMatchOrAllOfThem) {
  Set("\\d+");
  EXPECT_EQ(Values("a1b22c333"), std::vector<std::string>{"1"});
  Set("\\d+", true);
  EXPECT_EQ(Values("a1b22c333"), (std::vector<std::string>{"1", "22", "333"}));
  const Object third = ReadObjectProperty(CallObjectMethod(re_, "Execute", {"a1b22c333"}), "Item", {2});
  EXPECT_EQ(ReadNumberProperty(third, "FirstIndex"), 6);
  EXPECT_EQ(ReadNumberProperty(third, "Length"), 3);
  EXPECT_TRUE(ReadObjectProperty(CallObjectMethod(re_, "Execute", {"a"}), "Item", {0}).IsEmpty());
}

TEST_F(RegExpTest, ReadsSubMatchesWithEmptyForGroupsThatTookNoPart) {
  Set("(a)|(b)", true);
  const Object second = ReadObjectProperty(CallObjectMethod(re_, "Execute", {"ab"}), "Item", {1});
  const Object groups = ReadObjectProperty(second, "SubMatches");
  EXPECT_EQ(ReadNumberProperty(groups, "Count"), 2);
  EXPECT_TRUE(ReadProperty(groups, "Item", {0}).IsEmpty());
  EXPECT_EQ(ReadTextProperty(groups, "Item", {1}), "b");
}

TEST_F(RegExpTest, UsesThePlatformsSyntax) {
  Set("^\\w+$");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"ab\xD6\xD0"}));  // \w is ASCII only
  Set("\\d");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"\xA3\xB1"}));  // a full-width digit is no \d
  Set("a.b");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"a\tb"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"a\nb"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"a\rb"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {Variant::Text(u"a\u2028b")}));
  Set("<.+?>", true);
  EXPECT_EQ(Values("<a><b>"), (std::vector<std::string>{"<a>", "<b>"}));
  Set("b$");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"ab\n"}));
  Set("^b$", false, false, true);
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"a\r\nb\r\nc"}));
  Set("ABC", false, true);
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"xabcx"}));
  Set("\\u6743");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {Variant::Text(u"\u6743")}));
  Set("[.]");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"a"}));
}

TEST_F(RegExpTest, ReplacesWithTheDollarForms) {
  Set("(\\w)(\\d)", true);
  EXPECT_EQ(Replace("a1 b2", "$2$1"), "1a 2b");
  EXPECT_EQ(Replace("a1", "[$&|$`|$'|$$]"), "[a1|||$]");
  EXPECT_EQ(Replace("a1", "$3$0"), "$3$0");
  Set("\\d");
  EXPECT_EQ(Replace("1 2 3", "x"), "x 2 3");
  Set("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", true);
  EXPECT_EQ(Replace("abcdefghijk", "$11-$1"), "k-a");
}

TEST_F(RegExpTest, FailsOnABadPatternAndOnEndlessBacktracking) {
  Set("(a");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"a"}));
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_TRUE(CallObjectMethod(re_, "Execute", {"a"}).IsEmpty());
  EXPECT_EQ(CallTextMethod(re_, "Replace", {"a", "b"}), "");
  Set("(a+)+$");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {std::string(5000, 'a') + "!"}));
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(LastCall().excep.code, MakeCode(0x800A001C));  // out of stack space
}

// The platform's strings are UTF-16: a character beyond the BMP is two units
// and a lone surrogate is one, for indices, lengths and ".".
TEST_F(RegExpTest, CountsInUtf16UnitsWithLoneSurrogates) {
  const std::u16string text = u"\U0001F600x\xD800y\xDC00";
  Set("[xy]|[\\uD800-\\uDBFF]", true);
  const Object matches = CallObjectMethod(re_, "Execute", {Variant::Text(text)});
  // The first half of the pair is a high surrogate too.
  ASSERT_EQ(ReadNumberProperty(matches, "Count"), 4);
  const int indices[] = {0, 2, 3, 4};
  for (int i = 0; i < 4; ++i) {
    const Object match = ReadObjectProperty(matches, "Item", {i});
    EXPECT_EQ(ReadNumberProperty(match, "FirstIndex"), indices[i]) << i;
    EXPECT_EQ(ReadNumberProperty(match, "Length"), 1) << i;
  }
  EXPECT_EQ(ReadProperty(ReadObjectProperty(matches, "Item", {0}), "Value").TextValue(), u"\xD83D");
  EXPECT_EQ(ReadProperty(ReadObjectProperty(matches, "Item", {2}), "Value").TextValue(), u"\xD800");
  Set("(.)(.)$");
  const Object last = ReadObjectProperty(CallObjectMethod(re_, "Execute", {Variant::Text(text)}), "Item", {0});
  EXPECT_EQ(ReadNumberProperty(last, "FirstIndex"), 4);
  EXPECT_EQ(ReadProperty(ReadObjectProperty(last, "SubMatches"), "Item", {1}).TextValue(), u"\xDC00");
  EXPECT_EQ(CallVariantMethod(re_, "Replace", {Variant::Text(text), "$2$1"}).TextValue(), u"\U0001F600x\xD800\xDC00y");
}

// Repeating a group over a long text goes deep into the matcher: it either
// matches or stops as out of stack space, and never takes the process down.
TEST_F(RegExpTest, RepeatsAGroupOverALongTextWithoutRunningOutOfTheProcessStack) {
  const std::string text(200000, 'a');
  for (const char* pattern : {"^(?:a|b)*$", "(?:a|b)*c"}) {
    Set(pattern);
    const bool matched = CallBoolMethod(re_, "Test", {text});
    if (LastCall().code == S_OK) {
      EXPECT_EQ(matched, pattern[0] == '^') << pattern;
    } else {
      EXPECT_EQ(LastCall().excep.code, MakeCode(0x800A001C)) << pattern;
    }
  }
}

// The platform's dialect: VBScript "Regular Expression Syntax" (JScript 5.5
// syntax) describes "\" as marking the next character as special or literal;
// a letter it lists no meaning for is that letter, not Perl's escape.
TEST_F(RegExpTest, ReadsEscapedLettersItDoesNotKnowAsThoseLetters) {
  const std::vector<std::pair<std::string, std::string>> plain = {
      {"\\A", "A"},         {"x\\z", "xz"},       {"\\a", "a"},       {"\\e", "e"},        {"\\h", "h"},
      {"\\Qa.\\E", "QazE"}, {"\\G\\K\\Z", "GKZ"}, {"\\p{L}", "p{L}"}, {"[\\h\\B]+", "hB"},
  };
  for (const auto& [pattern, text] : plain) {
    Set(pattern, true);
    EXPECT_EQ(Values(text + " "), std::vector<std::string>{text}) << pattern;
  }
  Set("\\A");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"x"}));  // no start-of-text assertion
  Set("\\h");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {" \t"}));  // no horizontal white space
  Set("\\e");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"\x1B"}));
  // "\v Matches a vertical tab character", not any vertical white space.
  Set("\\v");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"\x0B"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"\n"}));
  // In a character set \b is a backspace.
  Set("[\\b]");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"\b"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"b"}));
}

// "\n ... If \n is preceded by at least n captured subexpressions, n is a
// backreference. Otherwise, n is an octal escape value", and \nm, \nml
// likewise (VBScript "Regular Expression Syntax").
TEST_F(RegExpTest, ReadsEscapedDigitsAsBackReferencesOrOctalCodes) {
  Set("(.)\\1", true);
  EXPECT_EQ(Values("abbc"), std::vector<std::string>{"bb"});
  Set("\\1(a)");
  EXPECT_TRUE(CallBoolMethod(re_, "Test",
                             {"\x01"
                              "a"}));
  Set("\\101\\141");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"Aa"}));
  Set("(a)\\12");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"aa2"}));
  Set("[\\1]");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"\x01"}));
}

// The platform's syntax is ECMAScript's (3rd edition, 15.10.2.13): "[]" is an
// empty set that never matches and "[^]" its complement, any character; "["
// inside a set is a character.
TEST_F(RegExpTest, TakesAnEmptySetAsMatchingNothingAndItsComplementAsAnything) {
  Set("[]");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"[]"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"]"}));
  Set("[]a]");
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"]a]"}));
  Set("[^]", true);
  EXPECT_EQ(Values("a\n"), (std::vector<std::string>{"a", "\n"}));
  Set("[^]a]");
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {"\ra]"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"a"}));
  Set("[[:alpha:]]");  // no POSIX classes: "[", ":", ... and then "]"
  EXPECT_TRUE(CallBoolMethod(re_, "Test", {":]"}));
  EXPECT_FALSE(CallBoolMethod(re_, "Test", {"b"}));
}

// VBScript "Run-time Errors": 5017 Syntax error in regular expression, 5018
// Unexpected quantifier, 5019 Expected ']' in regular expression, 5020
// Expected ')' in regular expression, 5021 Invalid range in character set.
// "(?<a>b)" is a syntax error in Wine's dlls/jscript/tests/regexp.js.
TEST_F(RegExpTest, RaisesEachKindOfBadPatternUnderItsOwnNumber) {
  struct Case {
    const char* pattern;
    std::uint32_t code;
    const char16_t* description;
  };
  const Case cases[] = {
      {"(?<a>b)", 0x800A1399, u"Syntax error in regular expression"},
      {"(?i)a", 0x800A1399, u"Syntax error in regular expression"},
      {"*a", 0x800A139A, u"Unexpected quantifier"},
      {"a|+b", 0x800A139A, u"Unexpected quantifier"},
      {"(?:{2})", 0x800A139A, u"Unexpected quantifier"},
      {"a++", 0x800A139A, u"Unexpected quantifier"},
      {"[a", 0x800A139B, u"Expected ']' in regular expression"},
      {"a[^b", 0x800A139B, u"Expected ']' in regular expression"},
      {"(a", 0x800A139C, u"Expected ')' in regular expression"},
      {"(?:a(b)", 0x800A139C, u"Expected ')' in regular expression"},
      {"[z-a]", 0x800A139D, u"Invalid range in character set"},
  };
  for (const Case& c : cases) {
    for (const bool multiline : {false, true}) {
      Set(c.pattern, false, false, multiline);
      CallBoolMethod(re_, "Test", {"a"});
      ASSERT_EQ(LastCall().code, DISP_E_EXCEPTION) << c.pattern;
      EXPECT_EQ(LastCall().excep.code, MakeCode(c.code)) << c.pattern;
      EXPECT_EQ(LastCall().excep.description, c.description) << c.pattern;
    }
  }
  // A quantifier after an assertion has nothing to repeat either; a
  // lookahead is an assertion (ECMAScript, 3rd edition, 15.10.1: "Term ::
  // Assertion | Atom | Atom Quantifier").
  for (const bool multiline : {false, true}) {
    for (const char* pattern : {"^*", "(?=a)*a", "a(?!b){2}"}) {
      Set(pattern, false, false, multiline);
      CallBoolMethod(re_, "Test", {"a"});
      EXPECT_EQ(LastCall().excep.code, MakeCode(0x800A139A)) << pattern;
    }
  }
}

}  // namespace
}  // namespace rankora::components
