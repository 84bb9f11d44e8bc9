#include "automation/convert.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "automation/blank.h"
#include "automation/component.h"
#include "automation/date.h"
#include "text/ascii.h"
#include "text/gbk.h"

namespace rankora::automation {
namespace {

std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// `magnitude` (finite, above zero) as d.ddd...e[+-]X with `decimals` digits
// after the point: its digits without the point, and the power of ten of the
// first. to_chars rounds correctly, an exact tie to even.
void Scientific(double magnitude, int decimals, std::string& digits, int& exponent) {
  char buffer[1100];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer - 1, magnitude, std::chars_format::scientific, decimals);
  *written.ptr = '\0';
  // buffer: d.ddddde[+-]XX, whatever the C locale says of decimal points
  digits.clear();
  const char* p = buffer;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  exponent = std::atoi(p + 1);
}

// The first `precision` significant digits of `magnitude` and the power of
// ten of the first. The platform rounds an exact tie away from zero
// (654322.25 as a single is "654322.3"); to_chars would round it to even.
void SignificantDigits(double magnitude, int precision, std::string& digits, int& exponent) {
  Scientific(magnitude, precision - 1, digits, exponent);
  std::string longer;
  int longerExponent = 0;
  Scientific(magnitude, precision, longer, longerExponent);
  if (longer.back() != '5') return;
  // Only an exact expansion tells a tie from a value just beside it; a
  // double's has at most 767 significant digits.
  std::string exact;
  Scientific(magnitude, 800, exact, exponent);
  const auto cut = static_cast<std::size_t>(precision);
  if (exact[cut] != '5' || exact.find_first_not_of('0', cut + 1) != std::string::npos) {
    Scientific(magnitude, precision - 1, digits, exponent);
    return;
  }
  digits = exact.substr(0, cut);
  std::size_t at = cut;
  while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
  if (at == 0) {
    digits.insert(digits.begin(), '1');
    digits.pop_back();
    ++exponent;
  } else {
    ++digits[at - 1];
  }
}

// Digits rounded to `precision` significant digits, written plainly while that
// takes at most `precision` digits, else as d.dddE+XX.
std::u16string FormatReal(double value, int precision) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value < 0 ? u"-1.#INF" : u"1.#INF";
  if (value == 0) return u"0";
  std::string digits;
  int exponent = 0;
  SignificantDigits(std::fabs(value), precision, digits, exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int count = static_cast<int>(digits.size());

  std::string text = value < 0 ? "-" : "";
  if (exponent >= 0 && exponent < precision) {
    if (count <= exponent + 1) {
      text += digits + std::string(static_cast<std::size_t>(exponent + 1 - count), '0');
    } else {
      text += digits.substr(0, static_cast<std::size_t>(exponent) + 1) + "." +
              digits.substr(static_cast<std::size_t>(exponent) + 1);
    }
  } else if (exponent < 0 && -exponent + count - 1 <= precision) {
    text += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else {
    text += digits.substr(0, 1);
    if (count > 1) text += "." + digits.substr(1);
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    text += tail;
  }
  return Widen(text);
}

std::u16string FormatCurrency(std::int64_t scaled) {
  const bool negative = scaled < 0;
  const std::uint64_t magnitude =
      negative ? static_cast<std::uint64_t>(-(scaled + 1)) + 1 : static_cast<std::uint64_t>(scaled);
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return Widen(text);
}

// A number as a text reads: its sign, and either its significant decimal
// digits with the power of ten of the last one, or the value of an "&H" or
// "&O" number.
struct TextNumber {
  bool negative = false;
  bool radix = false;
  bool radixTooLong = false;  // more than 64 bits
  std::uint64_t radixValue = 0;
  std::string digits;  // no leading zeros; empty for zero
  int exponent = 0;
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int RadixDigit(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return 99;
}

// The platform's number forms under a Chinese system, every part of them
// allowed (NUMPRS_STD): blanks around the number, one sign before or after
// it or parentheses around it, "," between digits of the whole part, "."
// and a fraction, an exponent, or "&H"/"&O" and hexadecimal or octal
// digits. Nothing may be left over.
bool ReadTextNumber(std::u16string_view text, TextNumber& number) {
  number = {};
  std::size_t pos = 0;
  const auto at = [&](std::size_t i) { return i < text.size() ? text[i] : u'\0'; };
  bool sign = false;
  bool parens = false;
  for (;;) {
    const char16_t c = at(pos);
    if (IsConversionBlank(c)) {
      ++pos;
    } else if ((c == u'+' || c == u'-') && !sign && !parens) {
      sign = true;
      number.negative = c == u'-';
      ++pos;
    } else if (c == u'(' && !sign && !parens) {
      parens = true;
      ++pos;
    } else {
      break;
    }
  }

  if (at(pos) == u'&') {
    // A signed "&H" number has no documented meaning: refused.
    if (sign || parens) return false;
    const char16_t kind = at(pos + 1);
    const int shift = kind == u'h' || kind == u'H' ? 4 : kind == u'o' || kind == u'O' ? 3 : 0;
    if (shift == 0) return false;
    pos += 2;
    const std::size_t first = pos;
    for (int digit = RadixDigit(at(pos)); digit < (1 << shift); digit = RadixDigit(at(++pos))) {
      if ((number.radixValue >> (64 - shift)) != 0) number.radixTooLong = true;
      number.radixValue = (number.radixValue << shift) | static_cast<std::uint64_t>(digit);
    }
    if (pos == first) return false;
    number.radix = true;
  } else {
    bool anyDigit = false;
    long long fractionDigits = 0;
    const auto takeDigit = [&](char16_t c) {
      anyDigit = true;
      if (c != u'0' || !number.digits.empty()) number.digits += static_cast<char>(c);
    };
    for (char16_t c = at(pos); IsDigit(c) || (c == u',' && anyDigit); c = at(++pos)) {
      if (c != u',') takeDigit(c);
    }
    if (at(pos) == u'.') {
      for (char16_t c = at(++pos); IsDigit(c); c = at(++pos)) {
        takeDigit(c);
        ++fractionDigits;
      }
    }
    if (!anyDigit) return false;
    long long exponent = 0;
    const char16_t e = at(pos);
    if (e == u'e' || e == u'E') {
      std::size_t next = pos + 1;
      const bool negativeExponent = at(next) == u'-';
      if (at(next) == u'+' || at(next) == u'-') ++next;
      if (IsDigit(at(next))) {
        for (pos = next; IsDigit(at(pos)); ++pos) {
          if (exponent < 100000) exponent = exponent * 10 + (at(pos) - u'0');
        }
        if (negativeExponent) exponent = -exponent;
      }
    }
    // Far beyond any double either way; keeps the sums below in range.
    number.exponent = static_cast<int>(std::clamp(exponent - fractionDigits, -1000000000LL, 1000000000LL));
  }

  bool closed = false;
  bool trailingSign = false;
  for (;;) {
    const char16_t c = at(pos);
    if (IsConversionBlank(c)) {
      ++pos;
    } else if ((c == u'+' || c == u'-') && !sign && !parens && !trailingSign && !number.radix) {
      trailingSign = true;
      number.negative = c == u'-';
      ++pos;
    } else if (c == u')' && parens && !closed) {
      closed = true;
      ++pos;
    } else {
      break;
    }
  }
  if (pos != text.size() || parens != closed) return false;
  if (parens) number.negative = true;
  return true;
}

// The magnitude of a decimal text number times 10^scale, rounded half to
// even as the platform rounds to integers; false past 64 bits.
bool RoundedMagnitude(const TextNumber& number, int scale, std::uint64_t& magnitude) {
  magnitude = 0;
  const std::string& digits = number.digits;
  if (digits.empty()) return true;
  const long long exponent = static_cast<long long>(number.exponent) + scale;
  const long long wholeDigits = static_cast<long long>(digits.size()) + exponent;
  if (wholeDigits > 20) return false;
  const auto push = [&](int digit) {
    if (magnitude > (std::numeric_limits<std::uint64_t>::max() - static_cast<std::uint64_t>(digit)) / 10) return false;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit);
    return true;
  };
  for (long long i = 0; i < wholeDigits; ++i) {
    if (!push(i < static_cast<long long>(digits.size()) ? digits[static_cast<std::size_t>(i)] - '0' : 0)) return false;
  }
  if (exponent >= 0 || wholeDigits < 0) return true;
  const auto next = static_cast<std::size_t>(wholeDigits);
  const int first = digits[next] - '0';
  const bool rest = digits.find_first_not_of('0', next + 1) != std::string::npos;
  if (first > 5 || (first == 5 && (rest || magnitude % 2 != 0))) {
    if (magnitude == std::numeric_limits<std::uint64_t>::max()) return false;
    ++magnitude;
  }
  return true;
}

// A decimal text number as a double: DISP_E_OVERFLOW past the double range,
// zero below it.
HRESULT TextNumberToDouble(const TextNumber& number, double& value) {
  value = 0;
  if (number.digits.empty()) return S_OK;
  // from_chars ignores the C locale: the decimal point is always ".".
  const int exponent = std::clamp(number.exponent, -99999, 99999);
  const std::string ascii = number.digits + "e" + std::to_string(exponent);
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (error == std::errc::result_out_of_range) {
    const long long leading = static_cast<long long>(number.digits.size()) + number.exponent;
    if (leading > 0) return DISP_E_OVERFLOW;
    value = 0;
  } else if (error != std::errc() || end != ascii.data() + ascii.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  if (number.negative) value = -value;
  return S_OK;
}

// The sources that are numbers, with what they hold. A text number is
// converted from its digits, so that every 64-bit integer survives.
enum class NumberKind { Signed, Unsigned, Real, Currency, Text };
struct Number {
  NumberKind kind = NumberKind::Signed;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double r = 0;
  const TextNumber* text = nullptr;
  // Converted to an integer kind by its two's-complement bits rather than
  // by its value.
  bool byBits = false;
};

bool ReadNumber(const Variant& v, Number& n) {
  switch (v.Type()) {
    case VT_EMPTY:
      n = {};
      return true;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_BOOL:
      n = {NumberKind::Signed, v.Signed(), 0, 0};
      return true;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
      n = {NumberKind::Unsigned, 0, v.Unsigned(), 0};
      return true;
    case VT_R4:
      n = {NumberKind::Real, 0, 0, static_cast<double>(v.Single())};
      return true;
    case VT_R8:
    case VT_DATE:
      n = {NumberKind::Real, 0, 0, v.Real()};
      return true;
    case VT_CY:
      n = {NumberKind::Currency, v.Signed(), 0, 0};
      return true;
    default:
      return false;
  }
}

// The integer kinds: their size in bits and whether they are signed.
bool IntegerKind(VarType type, int& bits, bool& isSigned) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      bits = 8;
      break;
    case VT_I2:
    case VT_UI2:
      bits = 16;
      break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      bits = 32;
      break;
    case VT_I8:
    case VT_UI8:
      bits = 64;
      break;
    default:
      return false;
  }
  isSigned = type == VT_I1 || type == VT_I2 || type == VT_I4 || type == VT_INT || type == VT_I8;
  return true;
}

// The conversions the platform makes by bits, as its conversion tests show:
// a boolean to an unsigned kind (true is all ones: 255, 65535, 4294967295),
// and between the signed and unsigned kinds of 8, 16 and 32 bits (I4 -1 is
// UI4 4294967295 and back).
bool ConvertsByBits(VarType from, VarType target) {
  int targetBits = 0;
  bool targetSigned = false;
  if (!IntegerKind(target, targetBits, targetSigned)) return false;
  if (from == VT_BOOL) return !targetSigned;
  int fromBits = 0;
  bool fromSigned = false;
  return IntegerKind(from, fromBits, fromSigned) && fromBits == targetBits && fromBits < 64 &&
         fromSigned != targetSigned;
}

double AsDouble(const Number& n) {
  switch (n.kind) {
    case NumberKind::Signed:
      return static_cast<double>(n.i);
    case NumberKind::Unsigned:
      return static_cast<double>(n.u);
    case NumberKind::Currency:
      return static_cast<double>(n.i) / 10000.0;
    case NumberKind::Real:
    case NumberKind::Text:
      break;
  }
  return n.r;
}

// The value of a number as a sign and a magnitude rounded half to even.
HRESULT ToInteger(const Number& n, bool& negative, std::uint64_t& magnitude) {
  switch (n.kind) {
    case NumberKind::Signed:
      negative = n.i < 0;
      magnitude = negative ? static_cast<std::uint64_t>(-(n.i + 1)) + 1 : static_cast<std::uint64_t>(n.i);
      break;
    case NumberKind::Unsigned:
      negative = false;
      magnitude = n.u;
      break;
    case NumberKind::Currency: {
      // Scaled by 10,000: round half to even on the integer.
      std::int64_t whole = n.i / 10000;
      const std::int64_t rest = n.i % 10000;
      if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
      if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
      negative = whole < 0;
      magnitude = negative ? static_cast<std::uint64_t>(-(whole + 1)) + 1 : static_cast<std::uint64_t>(whole);
      break;
    }
    case NumberKind::Real: {
      if (std::isnan(n.r)) return DISP_E_OVERFLOW;
      const double rounded = std::nearbyint(n.r);
      if (std::fabs(rounded) >= 18446744073709551616.0) return DISP_E_OVERFLOW;
      negative = rounded < 0;
      magnitude = static_cast<std::uint64_t>(std::fabs(rounded));
      break;
    }
    case NumberKind::Text:
      negative = n.text->negative;
      if (!RoundedMagnitude(*n.text, 0, magnitude)) return DISP_E_OVERFLOW;
      break;
  }
  if (negative && magnitude == 0) negative = false;
  return S_OK;
}

// An integer kind of `bits` bits: by value within its range, or, for the
// conversions the platform makes by bits and for "&H"/"&O" texts, the low
// `bits` bits read as the kind reads them ("&HFFFF" is I2 -1 and I4 65535).
HRESULT ToIntegerKind(const Number& n, int bits, bool isSigned, std::int64_t& value) {
  const std::uint64_t mask = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  std::uint64_t pattern = 0;
  if (n.kind == NumberKind::Text && n.text->radix) {
    if (n.text->radixTooLong || n.text->radixValue > mask) return DISP_E_OVERFLOW;
    pattern = n.text->radixValue;
  } else if (n.byBits) {
    pattern = (n.kind == NumberKind::Unsigned ? n.u : static_cast<std::uint64_t>(n.i)) & mask;
  } else {
    bool negative = false;
    std::uint64_t magnitude = 0;
    const HRESULT code = ToInteger(n, negative, magnitude);
    if (Failed(code)) return code;
    const std::uint64_t high = isSigned ? mask >> 1 : mask;
    if (negative ? !isSigned || magnitude > high + 1 : magnitude > high) return DISP_E_OVERFLOW;
    pattern = negative ? (~magnitude + 1) & mask : magnitude;
  }
  // Read the low bits as the kind does: signed kinds extend the sign bit.
  const bool signBit = bits < 64 && isSigned && (pattern >> (bits - 1)) != 0;
  value = static_cast<std::int64_t>(signBit ? pattern | ~mask : pattern);
  return S_OK;
}

HRESULT NumberTo(const Number& n, VarType target, Variant& result) {
  int bits = 0;
  bool isSigned = false;
  if (IntegerKind(target, bits, isSigned)) {
    std::int64_t value = 0;
    const HRESULT code = ToIntegerKind(n, bits, isSigned, value);
    if (Failed(code)) return code;
    const auto u = static_cast<std::uint64_t>(value);
    switch (target) {
      case VT_I1:
        result = Variant::I1(static_cast<std::int8_t>(value));
        break;
      case VT_I2:
        result = Variant::I2(static_cast<std::int16_t>(value));
        break;
      case VT_I4:
        result = Variant::I4(static_cast<std::int32_t>(value));
        break;
      case VT_INT:
        result = Variant::Int(static_cast<std::int32_t>(value));
        break;
      case VT_I8:
        result = Variant::I8(value);
        break;
      case VT_UI1:
        result = Variant::UI1(static_cast<std::uint8_t>(u));
        break;
      case VT_UI2:
        result = Variant::UI2(static_cast<std::uint16_t>(u));
        break;
      case VT_UI4:
        result = Variant::UI4(static_cast<std::uint32_t>(u));
        break;
      case VT_UINT:
        result = Variant::UInt(static_cast<std::uint32_t>(u));
        break;
      default:
        result = Variant::UI8(u);
        break;
    }
    return S_OK;
  }
  if (n.kind == NumberKind::Text) {
    const TextNumber& text = *n.text;
    if (text.radix) {
      // Hexadecimal and octal numbers stop at 32 bits outside the 64-bit
      // kinds (VarNumFromParseNum docs) and keep their unsigned value.
      if (text.radixTooLong || text.radixValue > 0xFFFFFFFFULL) return DISP_E_OVERFLOW;
      return NumberTo(Number{NumberKind::Unsigned, 0, text.radixValue, 0}, target, result);
    }
    if (target == VT_CY) {
      std::uint64_t magnitude = 0;
      if (!RoundedMagnitude(text, 4, magnitude) || magnitude > (std::uint64_t{1} << 63) - (text.negative ? 0 : 1)) {
        return DISP_E_OVERFLOW;
      }
      result = Variant::Currency(text.negative ? static_cast<std::int64_t>(~magnitude + 1)
                                               : static_cast<std::int64_t>(magnitude));
      return S_OK;
    }
    double value = 0;
    const HRESULT code = TextNumberToDouble(text, value);
    if (Failed(code)) return code;
    return NumberTo(Number{NumberKind::Real, 0, 0, value}, target, result);
  }
  switch (target) {
    case VT_R8:
      result = Variant::R8(AsDouble(n));
      return S_OK;
    case VT_R4: {
      const double value = AsDouble(n);
      if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return DISP_E_OVERFLOW;
      result = Variant::R4(static_cast<float>(value));
      return S_OK;
    }
    case VT_CY: {
      if (n.kind == NumberKind::Currency) {
        result = Variant::Currency(n.i);
        return S_OK;
      }
      const double scaled = std::nearbyint(AsDouble(n) * 10000.0);
      if (!(std::fabs(scaled) < 9.2233720368547758e18)) return DISP_E_OVERFLOW;
      result = Variant::Currency(static_cast<std::int64_t>(scaled));
      return S_OK;
    }
    case VT_DATE: {
      const double value = AsDouble(n);
      if (!(value >= kFirstDate && value < kLastDate + 1)) return DISP_E_OVERFLOW;
      result = Variant::Date(value);
      return S_OK;
    }
    case VT_BOOL:
      result = Variant::Bool(n.kind == NumberKind::Real ? n.r != 0 : (n.i != 0 || n.u != 0));
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToText(const Variant& v, std::u16string& text) {
  switch (v.Type()) {
    case VT_EMPTY:
      text.clear();
      return S_OK;
    case VT_BSTR:
      text = v.TextValue();
      return S_OK;
    case VT_BOOL:
      text = v.BoolValue() ? u"-1" : u"0";
      return S_OK;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
      text = Widen(std::to_string(v.Signed()));
      return S_OK;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
      text = Widen(std::to_string(v.Unsigned()));
      return S_OK;
    case VT_R4:
      text = FormatReal(static_cast<double>(v.Single()), 7);
      return S_OK;
    case VT_R8:
      text = FormatReal(v.Real(), 15);
      return S_OK;
    case VT_CY:
      text = FormatCurrency(v.Signed());
      return S_OK;
    case VT_DATE:
      return FormatDate(v.Real(), text) ? S_OK : DISP_E_OVERFLOW;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT TextTo(const std::u16string& text, VarType target, Variant& result) {
  if (target == VT_DATE) {
    double date = 0;
    if (!ParseDate(text, date)) return DISP_E_TYPEMISMATCH;
    result = Variant::Date(date);
    return S_OK;
  }
  if (target == VT_BOOL) {
    std::u16string_view word(text);
    while (!word.empty() && IsConversionBlank(word.front())) word.remove_prefix(1);
    while (!word.empty() && IsConversionBlank(word.back())) word.remove_suffix(1);
    // The English words in any case; "#TRUE#" and "#FALSE#" only as written.
    if (text::EqualsIgnoreAsciiCase(word, u"true") || word == u"#TRUE#") {
      result = Variant::Bool(true);
      return S_OK;
    }
    if (text::EqualsIgnoreAsciiCase(word, u"false") || word == u"#FALSE#") {
      result = Variant::Bool(false);
      return S_OK;
    }
  }
  TextNumber number;
  if (!ReadTextNumber(text, number)) return DISP_E_TYPEMISMATCH;
  Number value;
  value.kind = NumberKind::Text;
  value.text = &number;
  return NumberTo(value, target, result);
}

HRESULT BytesToText(const SafeArray& array, Variant& result) {
  const std::vector<std::uint8_t>& bytes = array.ByteData();
  // Two bytes to a character; an odd last byte makes none, as in a BSTR of
  // an odd byte length.
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size() * 2; ++i) {
    text[i / 2] = static_cast<char16_t>(text[i / 2] | (bytes[i] << (i % 2 == 0 ? 0 : 8)));
  }
  result = Variant::Text(std::move(text));
  return S_OK;
}

HRESULT TextToBytes(const std::u16string& text, Variant& result) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  result = Variant::Array(SafeArray::Bytes(bytes));
  return S_OK;
}

HRESULT ObjectTo(const Variant& source, VarType target, Variant& result) {
  const Object& object = source.ObjectValue();
  if (target == VT_DISPATCH || target == VT_UNKNOWN) {
    result = target == VT_DISPATCH ? Variant::Dispatch(object) : Variant::Unknown(object);
    return S_OK;
  }
  if (object.IsEmpty()) return DISP_E_TYPEMISMATCH;
  // A value is asked of an object's default member, as VariantChangeType
  // asks any object: one without type information (a script object) has a
  // default value too.
  Variant value;
  ExcepInfo excep;
  CallArgs none({});
  try {
    if (Failed(object->Invoke(DISPID_VALUE, InvokeKind::PropertyGet, none, value, excep))) return DISP_E_TYPEMISMATCH;
  } catch (...) {
    return DISP_E_TYPEMISMATCH;
  }
  if (value.Type() == VT_DISPATCH || value.Type() == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  return ChangeType(value, target, result);
}

bool IsValueKind(VarType type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_VARIANT:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string ProgramText(std::u16string_view text) { return text::FromUtf16(text.substr(0, text.find(u'\0'))); }

HRESULT ChangeType(const Variant& sourceRef, VarType target, Variant& result) {
  const Variant& source = sourceRef.Deref();
  const VarType from = source.Type();
  if ((target & VT_BYREF) != 0) return DISP_E_BADVARTYPE;
  if ((target & VT_ARRAY) != 0) {
    if (!IsValueKind(static_cast<VarType>(target & ~VT_ARRAY))) return DISP_E_BADVARTYPE;
    if (from == target) {
      result = source;
      return S_OK;
    }
    if (target == (VT_ARRAY | VT_UI1) && from == VT_BSTR) return TextToBytes(source.TextValue(), result);
    return DISP_E_TYPEMISMATCH;
  }
  if (!IsValueKind(target)) return DISP_E_BADVARTYPE;
  if (target == VT_VARIANT || target == from) {
    result = source;
    return S_OK;
  }
  if (source.IsArray()) {
    if (target == VT_BSTR && from == (VT_ARRAY | VT_UI1)) return BytesToText(*source.ArrayValue(), result);
    return DISP_E_TYPEMISMATCH;
  }
  if (from == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (from == VT_DISPATCH || from == VT_UNKNOWN) return ObjectTo(source, target, result);
  if (from == VT_ERROR) return DISP_E_TYPEMISMATCH;
  switch (target) {
    case VT_EMPTY:
      result.Clear();
      return S_OK;
    case VT_NULL:
      result = Variant::Null();
      return S_OK;
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (from != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      result = target == VT_DISPATCH ? Variant::Dispatch({}) : Variant::Unknown({});
      return S_OK;
    case VT_BSTR: {
      std::u16string text;
      const HRESULT code = ToText(source, text);
      if (Failed(code)) return code;
      result = Variant::Text(std::move(text));
      return S_OK;
    }
    default:
      break;
  }
  if (from == VT_BSTR) return TextTo(source.TextValue(), target, result);
  Number number;
  if (!ReadNumber(source, number)) return DISP_E_TYPEMISMATCH;
  number.byBits = ConvertsByBits(from, target);
  return NumberTo(number, target, result);
}

std::u16string DoubleToUtf16Text(double value) { return FormatReal(value, 15); }

bool NumericValue(const Variant& value, double& number) {
  const Variant& v = value.Deref();
  Number n;
  if (v.Type() == VT_EMPTY || !ReadNumber(v, n)) return false;
  number = AsDouble(n);
  return true;
}

bool ParseNumber(std::u16string_view text, double& value) {
  TextNumber number;
  if (!ReadTextNumber(text, number)) return false;
  if (number.radix) {
    if (number.radixTooLong || number.radixValue > 0xFFFFFFFFULL) return false;
    value = static_cast<double>(number.radixValue);
    return true;
  }
  return Succeeded(TextNumberToDouble(number, value));
}

}  // namespace rankora::automation
