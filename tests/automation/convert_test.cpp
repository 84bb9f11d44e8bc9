#include "automation/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "automation/date.h"

namespace rankora::automation {
namespace {

std::u16string TextOf(const Variant& v) {
  Variant out;
  EXPECT_EQ(ChangeType(v, VT_BSTR, out), S_OK);
  return out.TextValue();
}

HRESULT To(const Variant& v, VarType type, Variant& out) { return ChangeType(v, type, out); }

double DateOf(int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  double date = 0;
  EXPECT_TRUE(DateFromParts({y, m, d, h, mi, s}, date));
  return date;
}

// Wine oleaut32/tests/vartype.c, test_VarBstrFromR8: fifteen digits, the
// plain form down to 0.000000000056789 and up to 999999999999999.
TEST(DoubleToText, UsesFifteenDigitsAndTheExponentOnlyWhereNeeded) {
  EXPECT_EQ(TextOf(Variant::R8(1.5)), u"1.5");
  EXPECT_EQ(TextOf(Variant::R8(0.1)), u"0.1");
  EXPECT_EQ(TextOf(Variant::R8(1234567890123.0)), u"1234567890123");
  EXPECT_EQ(TextOf(Variant::R8(1.0 / 3)), u"0.333333333333333");
  EXPECT_EQ(TextOf(Variant::R8(1e-5)), u"0.00001");
  EXPECT_EQ(TextOf(Variant::R8(1e15)), u"1E+15");
  EXPECT_EQ(TextOf(Variant::R8(1.234e16)), u"1.234E+16");
  EXPECT_EQ(TextOf(Variant::R8(5.6789e-11)), u"0.000000000056789");
  EXPECT_EQ(TextOf(Variant::R8(5.6789e-12)), u"5.6789E-12");
  EXPECT_EQ(TextOf(Variant::R8(-0.0)), u"0");
  EXPECT_EQ(TextOf(Variant::R8(-2.5)), u"-2.5");
  EXPECT_EQ(TextOf(Variant::R8(999999999999999.0)), u"999999999999999");
  EXPECT_EQ(TextOf(Variant::R8(2.0 / 3)), u"0.666666666666667");
  EXPECT_EQ(TextOf(Variant::R8(1e100)), u"1E+100");
  EXPECT_EQ(TextOf(Variant::R8(1.2e15)), u"1.2E+15");
  EXPECT_EQ(TextOf(Variant::R8(3.141592653589793)), u"3.14159265358979");
  EXPECT_EQ(TextOf(Variant::R8(12.345678901234567)), u"12.3456789012346");
  EXPECT_EQ(TextOf(Variant::R8(1234.567890123456789)), u"1234.56789012346");
}

// Wine oleaut32/tests/vartype.c, test_VarBstrFromR8: small doubles keep the
// plain form while fifteen digits hold them (5.6789e-5 is "0.000056789",
// 0.00005 "0,00005" under Spanish), so 1e-5 is not "1E-05".
TEST(DoubleToText, WritesSmallNumbersPlainlyWhileFifteenDigitsHoldThem) {
  EXPECT_EQ(TextOf(Variant::R8(5.6789e-5)), u"0.000056789");
  EXPECT_EQ(TextOf(Variant::R8(1e-5)), u"0.00001");
  EXPECT_EQ(TextOf(Variant::R8(1.5e-7)), u"0.00000015");
  EXPECT_EQ(TextOf(Variant::R8(-5.6789e-10)), u"-0.00000000056789");
  EXPECT_EQ(TextOf(Variant::R8(1e-15)), u"0.000000000000001");
  EXPECT_EQ(TextOf(Variant::R8(1.5e-15)), u"1.5E-15");
  EXPECT_EQ(TextOf(Variant::R8(5.6789e-16)), u"5.6789E-16");
}

// Wine oleaut32/tests/vartype.c, test_VarBstrFromR4: seven digits, the
// exponent from 1E+08 on, and 654322.23456 (654322.25 as a single) rounded up
// to "654322.3".
TEST(SingleToText, UsesSevenDigitsAndRoundsATieAwayFromZero) {
  EXPECT_EQ(TextOf(Variant::R4(0.000005f)), u"0.000005");
  EXPECT_EQ(TextOf(Variant::R4(0.5f)), u"0.5");
  EXPECT_EQ(TextOf(Variant::R4(1.0e8f)), u"1E+08");
  EXPECT_EQ(TextOf(Variant::R4(999999999999999.0f)), u"1E+15");
  EXPECT_EQ(TextOf(Variant::R4(1.234e16f)), u"1.234E+16");
  EXPECT_EQ(TextOf(Variant::R4(3.14159265f)), u"3.141593");
  EXPECT_EQ(TextOf(Variant::R4(12.34567890f)), u"12.34568");
  EXPECT_EQ(TextOf(Variant::R4(1234.56789012f)), u"1234.568");
  EXPECT_EQ(TextOf(Variant::R4(654322.23456f)), u"654322.3");
  EXPECT_EQ(TextOf(Variant::R4(-654322.23456f)), u"-654322.3");
}

TEST(ValuesToText, WriteBooleansAsNumbersAndIntegersInDecimal) {
  EXPECT_EQ(TextOf(Variant::Bool(true)), u"-1");
  EXPECT_EQ(TextOf(Variant::Bool(false)), u"0");
  EXPECT_EQ(TextOf(Variant::I4(-42)), u"-42");
  EXPECT_EQ(TextOf(Variant::UI8(18446744073709551615ULL)), u"18446744073709551615");
  EXPECT_EQ(TextOf(Variant::I8(-9223372036854775807LL - 1)), u"-9223372036854775808");
  EXPECT_EQ(TextOf(Variant::UI1(255)), u"255");
  EXPECT_EQ(TextOf(Variant::Currency(15000)), u"1.5");
  EXPECT_EQ(TextOf(Variant::Currency(-1234567)), u"-123.4567");
  EXPECT_EQ(TextOf(Variant::R4(0.1f)), u"0.1");
  EXPECT_EQ(TextOf(Variant()), u"");
}

TEST(NullConversions, FailWithATypeMismatchExceptToNull) {
  Variant out;
  for (const VarType type : {VT_BSTR, VT_R8, VT_I4, VT_BOOL, VT_DATE, VT_EMPTY, VT_DISPATCH}) {
    EXPECT_EQ(To(Variant::Null(), type, out), DISP_E_TYPEMISMATCH) << type;
  }
  EXPECT_EQ(To(Variant::Null(), VT_NULL, out), S_OK);
  EXPECT_EQ(out.Type(), VT_NULL);
}

// VarParseNumFromStr docs and Wine oleaut32/tests/vartest.c,
// test_VarParseNumFromStr: blanks before and after the number, and between a
// leading sign and the digits ("+ 0"); nothing else left over.
TEST(TextToDouble, AllowsBlanksAroundTheNumberAndNothingElse) {
  Variant out;
  ASSERT_EQ(To(Variant::Text(u" 3.5"), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 3.5);
  ASSERT_EQ(To(Variant::Text(u"-12 "), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), -12);
  ASSERT_EQ(To(Variant::Text(u"1.5e3"), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 1500);
  ASSERT_EQ(To(Variant::Text(u".5"), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 0.5);
  ASSERT_EQ(To(Variant::Text(u"1."), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 1);
  ASSERT_EQ(To(Variant::Text(u"- 1"), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), -1);
  ASSERT_EQ(To(Variant::Text(u"1.5e-20"), VT_R8, out), S_OK);
  EXPECT_DOUBLE_EQ(out.Real(), 1.5e-20);
  for (const char16_t* bad :
       {u"12abc", u"", u" ", u"abc", u"1e", u"1.2.3", u"1 2", u"+ +0", u".", u"0x10", u"1e1.", u"$11"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_R8, out), DISP_E_TYPEMISMATCH) << std::u16string_view(bad).size();
  }
}

// The platform's white space around a number, line ends included ("3\r\n" from
// a line of a file), and the no-break and ideographic spaces of Chinese text
// (NUMPARSE docs: NUMPRS_LEADING_WHITE, NUMPRS_TRAILING_WHITE).
TEST(TextToNumber, SkipsLineEndsAndWideSpaces) {
  Variant out;
  for (const char16_t* text : {u"3\r\n", u"\t3 ", u"\u00A03", u"\u30003", u" \u30003\r\n"}) {
    ASSERT_EQ(To(Variant::Text(text), VT_I4, out), S_OK) << std::u16string_view(text).size();
    EXPECT_EQ(out.Type(), VT_I4);
    EXPECT_EQ(out.Signed(), 3);
  }
  EXPECT_EQ(To(Variant::Text(u"3\r\n4"), VT_I4, out), DISP_E_TYPEMISMATCH);
}

// Wine oleaut32/tests/vartest.c, test_VarParseNumFromStr: "1,000" reads as
// 1000 with the grouping separator ("," on a Chinese system), and the
// fraction after it still reads.
TEST(TextToNumber, SkipsTheGroupingSeparator) {
  Variant out;
  ASSERT_EQ(To(Variant::Text(u"1,000"), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), 1000);
  ASSERT_EQ(To(Variant::Text(u"1,234,567"), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), 1234567);
  ASSERT_EQ(To(Variant::Text(u"-1,000.25"), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), -1000.25);
  EXPECT_EQ(To(Variant::Text(u"1.000,5"), VT_R8, out), DISP_E_TYPEMISMATCH);
}

// Wine oleaut32/tests/vartest.c, test_VarParseNumFromStr ("&HF800",
// "&h0abcdef", "&O300", "&o0777") and test_VarNumFromParseNum (the high bit
// kept in the requested kind: 0x8002 is I2 -32766): "&HFFFF" is I2 -1 and I4
// 65535; a number wider than the kind overflows.
TEST(TextToNumber, ReadsHexadecimalAndOctalWithinTheTargetsBits) {
  Variant out;
  const struct {
    const char16_t* text;
    VarType type;
    std::int64_t expected;
  } cases[] = {
      {u"&H10", VT_I4, 16},
      {u"&O17", VT_I4, 15},
      {u"&h0abcdef", VT_I4, 0xabcdef},
      {u"&o0777", VT_I4, 511},
      {u"&HFFFF", VT_I2, -1},
      {u"&HFFFF", VT_I4, 65535},
      {u"&HFFFFFFFF", VT_I4, -1},
      {u"&H8002", VT_I2, -32766},
      {u"&HFF", VT_I1, -1},
      {u"&HFF", VT_UI1, 255},
      {u"&HFFFF", VT_UI2, 65535},
      {u"&H7FFF", VT_I2, 32767},
      {u" &H10 ", VT_I4, 16},
      {u"&HFFFFFFFF", VT_I8, 4294967295LL},
  };
  for (const auto& [text, type, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), type, out), S_OK) << type;
    EXPECT_EQ(out.Type(), type);
    const std::int64_t value =
        type == VT_UI1 || type == VT_UI2 ? static_cast<std::int64_t>(out.Unsigned()) : out.Signed();
    EXPECT_EQ(value, expected) << type;
  }
  ASSERT_EQ(To(Variant::Text(u"&HFFFFFFFFFFFFFFFF"), VT_I8, out), S_OK);
  EXPECT_EQ(out.Signed(), -1);
  EXPECT_EQ(To(Variant::Text(u"&H10000"), VT_I2, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"&H100"), VT_UI1, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"&H100000000"), VT_I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"&H10000000000000000"), VT_I8, out), DISP_E_OVERFLOW);
  for (const char16_t* bad : {u"&H", u"&O", u"&HG", u"&O8", u"&o128", u"&X10", u"&H1.5"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_I4, out), DISP_E_TYPEMISMATCH) << std::u16string_view(bad).size();
  }
}

// Wine oleaut32/tests/vartest.c, test_VarParseNumFromStr: a number in
// parentheses is negative, a sign may follow the number, and only one sign
// is taken ("-0-" leaves the second one over).
TEST(TextToNumber, ReadsParenthesesAndATrailingSignAsTheSign) {
  Variant out;
  const std::pair<const char16_t*, std::int64_t> cases[] = {
      {u"(5)", -5}, {u"5-", -5}, {u"5+", 5}, {u" (5) ", -5}, {u"1,000-", -1000}, {u"(0)", 0}, {u"2.5-", -2},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_I4, out), S_OK) << expected;
    EXPECT_EQ(out.Signed(), expected);
  }
  for (const char16_t* bad : {u"()", u"(5", u"5)", u"-5-", u"+5-", u"0()"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_I4, out), DISP_E_TYPEMISMATCH) << std::u16string_view(bad).size();
  }
}

// Wine oleaut32/tests/vartype.c, test_VarI4FromStr, test_VarUI4FromStr,
// test_VarUI8FromStr, test_VarR8FromStr: a number out of the target's range
// fails with DISP_E_OVERFLOW, integers read exactly to 64 bits, and a double
// too small for the range reads as 0.
TEST(TextToNumber, FailsWithOverflowOutOfRange) {
  Variant out;
  EXPECT_EQ(To(Variant::Text(u"2147483648"), VT_I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"-2147483649"), VT_I4, out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(Variant::Text(u"-2147483648"), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), -2147483648LL);
  EXPECT_EQ(To(Variant::Text(u"4294967296"), VT_UI4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"-1"), VT_UI4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"32768"), VT_I2, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"1e400"), VT_R8, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"-1e400"), VT_R8, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"1e400"), VT_I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"3.5e38"), VT_R4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"1e20"), VT_CY, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::Text(u"1e400"), VT_BOOL, out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(Variant::Text(u"1e-94938484"), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 0);
  ASSERT_EQ(To(Variant::Text(u"18446744073709551615"), VT_UI8, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 18446744073709551615ULL);
  EXPECT_EQ(To(Variant::Text(u"18446744073709551616"), VT_UI8, out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(Variant::Text(u"-9223372036854775808"), VT_I8, out), S_OK);
  EXPECT_EQ(out.Signed(), std::numeric_limits<std::int64_t>::min());
  ASSERT_EQ(To(Variant::Text(u"9223372036854775807"), VT_I8, out), S_OK);
  EXPECT_EQ(out.Signed(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(To(Variant::Text(u"9223372036854775808"), VT_I8, out), DISP_E_OVERFLOW);
}

// Wine oleaut32/tests/vartype.c, test_VarI4FromStr and test_VarUI4FromStr:
// texts round half to even, and -0.5 is 0 even for unsigned kinds.
TEST(TextToNumber, RoundsHalfToEven) {
  Variant out;
  const std::pair<const char16_t*, std::int64_t> cases[] = {
      {u"-1.5", -2}, {u"-0.6", -1}, {u"-0.5", 0}, {u"-0.4", 0}, {u"0.4", 0},
      {u"0.5", 0},   {u"0.6", 1},   {u"1.5", 2},  {u"2.5", 2},  {u"2.5000001", 3},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_I4, out), S_OK) << expected;
    EXPECT_EQ(out.Signed(), expected);
  }
  ASSERT_EQ(To(Variant::Text(u"-0.5"), VT_UI4, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 0u);
  EXPECT_EQ(To(Variant::Text(u"-0.6"), VT_UI4, out), DISP_E_OVERFLOW);
}

// Wine oleaut32/tests/vartype.c, test_VarBoolFromStr: English words in any
// case, "#TRUE#" and "#FALSE#" only as written, numbers as zero or not.
TEST(TextToBoolean, TakesWordsAndNumbers) {
  Variant out;
  const std::pair<const char16_t*, bool> cases[] = {
      {u"true", true}, {u"TRUE", true}, {u"False", false}, {u"#TRUE#", true}, {u"#FALSE#", false}, {u"0", false},
      {u"-1", true},   {u"+1", true},   {u"2.5", true},    {u"0.1", true},    {u"&H10", true},     {u"(0)", false},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.BoolValue(), expected);
  }
  EXPECT_EQ(To(Variant::Text(u"yes"), VT_BOOL, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(Variant::Text(u"On"), VT_BOOL, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(Variant::Text(u"#False#"), VT_BOOL, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(Variant::Text(u""), VT_BOOL, out), DISP_E_TYPEMISMATCH);
}

TEST(DoubleToInteger, RoundsHalfToEvenAndRefusesOverflow) {
  Variant out;
  const std::pair<double, std::int64_t> cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-1.5, -2}, {-0.5, 0}, {2.6, 3}};
  for (const auto& [value, expected] : cases) {
    ASSERT_EQ(To(Variant::R8(value), VT_I4, out), S_OK) << value;
    EXPECT_EQ(out.Signed(), expected) << value;
  }
  EXPECT_EQ(To(Variant::R8(2147483648.0), VT_I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::R8(-2147483649.0), VT_I4, out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(Variant::R8(-2147483648.0), VT_I4, out), S_OK);
  EXPECT_EQ(To(Variant::I4(256), VT_UI1, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::R8(NAN), VT_I4, out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(Variant::Text(u"41.5"), VT_I2, out), S_OK);
  EXPECT_EQ(out.Signed(), 42);
  ASSERT_EQ(To(Variant::Currency(25000), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), 2);
}

// Wine oleaut32/tests/vartype.c, test_VarUI1FromBool, test_VarUI2FromBool,
// test_VarUI4FromBool and test_VarUI8FromBool: true (-1) becomes all ones in
// an unsigned kind.
TEST(BooleanToNumber, TrueIsAllOnesInUnsignedKinds) {
  Variant out;
  ASSERT_EQ(To(Variant::Bool(true), VT_UI1, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 255u);
  ASSERT_EQ(To(Variant::Bool(true), VT_UI2, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 65535u);
  ASSERT_EQ(To(Variant::Bool(true), VT_UI4, out), S_OK);
  EXPECT_EQ(out.Type(), VT_UI4);
  EXPECT_EQ(out.Unsigned(), 4294967295u);
  ASSERT_EQ(To(Variant::Bool(true), VT_UI8, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 18446744073709551615ULL);
  ASSERT_EQ(To(Variant::Bool(true), VT_I1, out), S_OK);
  EXPECT_EQ(out.Signed(), -1);
  ASSERT_EQ(To(Variant::Bool(true), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), -1);
  for (const VarType type : {VT_UI1, VT_UI2, VT_UI4, VT_UI8}) {
    ASSERT_EQ(To(Variant::Bool(false), type, out), S_OK);
    EXPECT_EQ(out.Unsigned(), 0u);
  }
}

// Wine oleaut32/tests/vartype.c, test_VarI1ChangeTypeEx, test_VarUI1ChangeTypeEx,
// test_VarUI2ChangeTypeEx, test_VarI4ChangeTypeEx, test_VarUI4ChangeTypeEx
// (NEGATIVE_TYPETEST): between the signed and unsigned kinds of one size
// VariantChangeType keeps the bits, I4 -1 being UI4 4294967295 and back;
// kinds of other sizes still check the range (test_VarUI1FromI2,
// test_VarUI4FromI2).
TEST(IntegerKinds, KeepTheBitsBetweenSignedAndUnsignedOfOneSize) {
  Variant out;
  ASSERT_EQ(To(Variant::I4(-1), VT_UI4, out), S_OK);
  EXPECT_EQ(out.Type(), VT_UI4);
  EXPECT_EQ(out.Unsigned(), 4294967295u);
  ASSERT_EQ(To(Variant::UI4(4294967295u), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), -1);
  ASSERT_EQ(To(Variant::I1(-1), VT_UI1, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 255u);
  ASSERT_EQ(To(Variant::UI1(255), VT_I1, out), S_OK);
  EXPECT_EQ(out.Signed(), -1);
  ASSERT_EQ(To(Variant::I2(-1), VT_UI2, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 65535u);
  ASSERT_EQ(To(Variant::UI2(65535), VT_I2, out), S_OK);
  EXPECT_EQ(out.Signed(), -1);
  ASSERT_EQ(To(Variant::I4(-2147483647 - 1), VT_UI4, out), S_OK);
  EXPECT_EQ(out.Unsigned(), 2147483648u);
  EXPECT_EQ(To(Variant::I2(-1), VT_UI1, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::I2(-1), VT_UI4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::I4(-1), VT_UI2, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::UI4(4294967295u), VT_I2, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::R8(-1), VT_UI4, out), DISP_E_OVERFLOW);
}

TEST(DateToText, WritesTheChineseSystemForm) {
  EXPECT_EQ(TextOf(Variant::Date(DateOf(2013, 4, 25, 23, 59, 59))), u"2013/4/25 23:59:59");
  EXPECT_EQ(TextOf(Variant::Date(DateOf(2013, 4, 25))), u"2013/4/25");
  EXPECT_EQ(TextOf(Variant::Date(0.25)), u"6:00:00");
  EXPECT_EQ(TextOf(Variant::Date(0)), u"0:00:00");
  EXPECT_EQ(TextOf(Variant::Date(DateOf(1899, 12, 29, 6))), u"1899/12/29 6:00:00");
  EXPECT_EQ(DateOf(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(DateOf(100, 1, 1), kFirstDate);
  EXPECT_EQ(DateOf(9999, 12, 31), kLastDate);
  Variant out;
  EXPECT_EQ(To(Variant::Date(kLastDate + 1), VT_BSTR, out), DISP_E_OVERFLOW);
}

TEST(TextToDate, ReadsThePlatformFormsAndRoundTripsToTheSecond) {
  Variant out;
  const std::pair<const char16_t*, double> cases[] = {
      {u"2013/4/25 23:59:59", DateOf(2013, 4, 25, 23, 59, 59)},
      {u"2013/4/25", DateOf(2013, 4, 25)},
      {u"2013-04-25", DateOf(2013, 4, 25)},
      {u"2013-04-25 23:59:59", DateOf(2013, 4, 25, 23, 59, 59)},
      {u"6:00:00", 0.25},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_DATE, out), S_OK);
    EXPECT_DOUBLE_EQ(out.Real(), expected);
    EXPECT_EQ(TextOf(out), TextOf(Variant::Date(expected)));
  }
  // Wine oleaut32/tests/vartype.c, test_VarDateFromStr: "02.01.1970" is no
  // date where "." separates no date fields, "24:00" and "0:60" no time, and
  // fractions of a second are refused.
  for (const char16_t* bad :
       {u"2013/2/30", u"25.4.2013", u"2013/4/25 24:00:00", u"", u"2013/4/2523:00", u"hello", u"02.01.1970", u"24:00",
        u"0:60", u"1;2;3", u"0", u"1", u"True", u"2013-05-14 02:04:12.017000000", u"13/13/2013"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_DATE, out), DISP_E_TYPEMISMATCH) << std::u16string_view(bad).size();
  }
  // Every second of a day survives the trip through text.
  const double day = DateOf(2024, 2, 29);
  for (int second = 0; second < 86400; second += 997) {
    const double date = day + second / 86400.0;
    ASSERT_EQ(To(Variant::Text(TextOf(Variant::Date(date))), VT_DATE, out), S_OK);
    EXPECT_NEAR(out.Real(), date, 0.5 / 86400);
  }
}

// Wine oleaut32/tests/vartype.c, test_VarDateFromStr: the platform picks the
// order of three numbers that the fields allow, the locale's own first (on a
// Chinese system year/month/day): "6/30/2011" reads as month/day/year,
// "13-1-1970" as day/month/year, and a month past 12 swaps with the day.
// Two-digit years 00 to 29 are 2000 to 2029, 30 to 99 the 1900s ("1 2 29" is
// 2029, "1 2 30" 1930).
TEST(TextToDate, ReadsTheOrdersTheFieldsAllow) {
  Variant out;
  const std::pair<const char16_t*, double> cases[] = {
      {u"4/25/2013", DateOf(2013, 4, 25)},
      {u"25/4/2013", DateOf(2013, 4, 25)},
      {u"2013/13/1", DateOf(2013, 1, 13)},
      {u"99/1/2", DateOf(1999, 1, 2)},
      {u"29/1/2", DateOf(2029, 1, 2)},
      {u"30/1/2", DateOf(1930, 1, 2)},
      {u"1/2/3", DateOf(2001, 2, 3)},
      {u"13-1-1970", 25581.0},
      {u"1970-1-13", 25581.0},
      {u"6/30/2011 01:20:34", 40724.05594907407},
      {u"2013-05-14 02:04:12", 41408.08625000001},
      {u"6/30/2011\u300001:20:34", 40724.05594907407},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_DATE, out), S_OK) << expected;
    EXPECT_NEAR(out.Real(), expected, 1e-9) << expected;
  }
}

// Wine oleaut32/tests/vartype.c, test_VarDateFromStr: AM/PM (or A/P, any
// case) move hours up to 12, "12 AM" being midnight and "00:00 PM" noon;
// past 12 the designator changes nothing. A Chinese system writes 上午/下午.
TEST(TextToDate, ReadsMorningAndAfternoonDesignators) {
  Variant out;
  const std::pair<const char16_t*, double> cases[] = {
      {u"12:30 PM", 0.5208333333333334},
      {u"00:00 AM", 0.0},
      {u"00:00 a", 0.0},
      {u"12:59 AM", 0.04097222222222222},
      {u"12:59 A", 0.04097222222222222},
      {u"00:00 pm", 0.5},
      {u"12:59 p", 0.5409722222222222},
      {u"13:00 AM", 0.5416666666666666},
      {u"13:00 PM", 0.5416666666666666},
      {u"1 am", 0.04166666666666666},
      {u"3:00 \u4E0B\u5348", 0.625},
      {u"12:30 \u4E0A\u5348", 0.020833333333333332},
      {u"6/30/2011 01:20:34 AM", 40724.05594907407},
      {u"6/30/2011 01:20:34 PM", 40724.55594907407},
      {u"2013/4/25 11:59:59 \u4E0B\u5348", DateOf(2013, 4, 25, 23, 59, 59)},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_DATE, out), S_OK) << expected;
    EXPECT_NEAR(out.Real(), expected, 1e-9) << expected;
  }
  for (const char16_t* bad : {u"1 2 am", u"12:30 PX", u"12:30 PM PM", u"am"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_DATE, out), DISP_E_TYPEMISMATCH) << std::u16string_view(bad).size();
  }
}

TEST(Dates, ConvertToAndFromNumbersByValue) {
  Variant out;
  ASSERT_EQ(To(Variant::Date(1.5), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 1.5);
  ASSERT_EQ(To(Variant::R8(41389.0), VT_DATE, out), S_OK);
  EXPECT_EQ(TextOf(out), u"2013/4/25");
  EXPECT_EQ(To(Variant::R8(3e6), VT_DATE, out), DISP_E_OVERFLOW);
}

TEST(EmptyValues, ConvertToTheZeroOfEachKind) {
  Variant out;
  ASSERT_EQ(To(Variant(), VT_R8, out), S_OK);
  EXPECT_EQ(out.Real(), 0);
  ASSERT_EQ(To(Variant(), VT_BOOL, out), S_OK);
  EXPECT_FALSE(out.BoolValue());
  ASSERT_EQ(To(Variant(), VT_DISPATCH, out), S_OK);
  EXPECT_TRUE(out.ObjectValue().IsEmpty());
}

TEST(ByteArrays, ConvertToAndFromTextAsRawBytes) {
  const std::uint8_t bytes[] = {'h', 0, 'i', 0};
  Variant out;
  ASSERT_EQ(To(Variant::Array(SafeArray::Bytes(bytes)), VT_BSTR, out), S_OK);
  EXPECT_EQ(out.TextValue(), u"hi");
  ASSERT_EQ(To(Variant::Text(u"A"), VT_ARRAY | VT_UI1, out), S_OK);
  EXPECT_EQ(out.ArrayValue()->ByteData(), (std::vector<std::uint8_t>{'A', 0}));
  EXPECT_EQ(To(Variant::Array(SafeArray::Bytes(bytes)), VT_R8, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(To(Variant::I4(1), VT_BYREF | VT_I4, out), DISP_E_BADVARTYPE);
}

// Wine oleaut32/tests/vartype.c, test_VarBstrCat: a string of an odd number
// of bytes has floor(n/2) characters; the last byte makes none.
TEST(ByteArrays, OfOddLengthGiveHalfAsManyCharactersRoundedDown) {
  const std::uint8_t five[] = {'h', 0, 'i', 0, '!'};
  const std::uint8_t one[] = {'A'};
  Variant out;
  ASSERT_EQ(To(Variant::Array(SafeArray::Bytes(five)), VT_BSTR, out), S_OK);
  EXPECT_EQ(out.TextValue(), u"hi");
  ASSERT_EQ(To(Variant::Array(SafeArray::Bytes(one)), VT_BSTR, out), S_OK);
  EXPECT_EQ(out.TextValue(), u"");
}

TEST(ByReference, ConvertsTheValueReferredTo) {
  Variant target = Variant::I4(7);
  Variant out;
  ASSERT_EQ(To(Variant::ByRef(target, VT_I4), VT_BSTR, out), S_OK);
  EXPECT_EQ(out.TextValue(), u"7");
}

// Dictionary keys and script values read numbers through NumericValue: it
// must give what ChangeType to VT_R8 gives, kind by kind.
TEST(NumericValue, AgreesWithTheConversionToDoubleForEveryNumberKind) {
  Variant referred = Variant::Currency(-5);
  const Variant numbers[] = {
      Variant::I1(-5),
      Variant::UI1(200),
      Variant::I2(-30000),
      Variant::UI2(60000),
      Variant::I4(-7),
      Variant::UI4(4000000000U),
      Variant::I8(-(std::int64_t{1} << 53) - 1),
      Variant::UI8(std::numeric_limits<std::uint64_t>::max()),
      Variant::Int(9),
      Variant::UInt(10),
      Variant::R4(0.1F),
      Variant::R8(-2.5),
      Variant::Currency(12345),
      Variant::Date(45000.25),
      Variant::Bool(true),
      Variant::Bool(false),
      Variant::ByRef(referred, VT_CY),
  };
  for (const Variant& v : numbers) {
    Variant expected;
    ASSERT_EQ(To(v, VT_R8, expected), S_OK);
    double number = 1;
    ASSERT_TRUE(NumericValue(v, number)) << v.Deref().Type();
    EXPECT_EQ(number, expected.Real()) << v.Deref().Type();
  }
  double number = 0;
  ASSERT_TRUE(NumericValue(Variant::Currency(12345), number));
  EXPECT_EQ(number, 1.2345);
  ASSERT_TRUE(NumericValue(Variant::Bool(true), number));
  EXPECT_EQ(number, -1);
}

TEST(NumericValue, RefusesWhatHoldsNoNumberEmptyAndTextIncluded) {
  double number = 3;
  EXPECT_FALSE(NumericValue(Variant(), number));
  EXPECT_FALSE(NumericValue(Variant::Null(), number));
  EXPECT_FALSE(NumericValue(Variant::Text(u"12"), number));
  EXPECT_FALSE(NumericValue(Variant::Error(DISP_E_PARAMNOTFOUND), number));
  EXPECT_FALSE(NumericValue(Variant::Dispatch({}), number));
  EXPECT_EQ(number, 3);
}

}  // namespace
}  // namespace rankora::automation
