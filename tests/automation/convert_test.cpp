#include "automation/convert.h"

#include <gtest/gtest.h>

#include <cmath>

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
  for (const char16_t* bad : {u"12abc", u"", u" ", u"abc", u"1e", u"1.2.3", u"- 1", u"1 2"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_R8, out), DISP_E_TYPEMISMATCH) << std::string(bad, bad + 3).size();
  }
}

TEST(TextToBoolean, TakesWordsAndNumbers) {
  Variant out;
  const std::pair<const char16_t*, bool> cases[] = {
      {u"true", true},     {u"TRUE", true}, {u"False", false}, {u"#TRUE#", true},
      {u"#FALSE#", false}, {u"0", false},   {u"-1", true},     {u"2.5", true},
  };
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(To(Variant::Text(text), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.BoolValue(), expected);
  }
  EXPECT_EQ(To(Variant::Text(u"yes"), VT_BOOL, out), DISP_E_TYPEMISMATCH);
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
  EXPECT_EQ(To(Variant::I4(-1), VT_UI4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(To(Variant::R8(NAN), VT_I4, out), DISP_E_OVERFLOW);
  ASSERT_EQ(To(Variant::Text(u"41.5"), VT_I2, out), S_OK);
  EXPECT_EQ(out.Signed(), 42);
  ASSERT_EQ(To(Variant::Currency(25000), VT_I4, out), S_OK);
  EXPECT_EQ(out.Signed(), 2);
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
  for (const char16_t* bad : {u"2013/2/30", u"2013年4月25日", u"25.4.2013", u"2013/4/25 24:00:00", u"",
                              u"2013/4/2523:00", u"2013-4/25", u"hello"}) {
    EXPECT_EQ(To(Variant::Text(bad), VT_DATE, out), DISP_E_TYPEMISMATCH);
  }
  // Every second of a day survives the trip through text.
  const double day = DateOf(2024, 2, 29);
  for (int second = 0; second < 86400; second += 997) {
    const double date = day + second / 86400.0;
    ASSERT_EQ(To(Variant::Text(TextOf(Variant::Date(date))), VT_DATE, out), S_OK);
    EXPECT_NEAR(out.Real(), date, 0.5 / 86400);
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

TEST(ByReference, ConvertsTheValueReferredTo) {
  Variant target = Variant::I4(7);
  Variant out;
  ASSERT_EQ(To(Variant::ByRef(target, VT_I4), VT_BSTR, out), S_OK);
  EXPECT_EQ(out.TextValue(), u"7");
}

}  // namespace
}  // namespace rankora::automation
