#include "automation/convert.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "automation/component.h"
#include "automation/date.h"

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

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The sources that are numbers, with what they hold.
enum class NumberKind { Signed, Unsigned, Real, Currency };
struct Number {
  NumberKind kind = NumberKind::Signed;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double r = 0;
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

double AsDouble(const Number& n) {
  switch (n.kind) {
    case NumberKind::Signed:
      return static_cast<double>(n.i);
    case NumberKind::Unsigned:
      return static_cast<double>(n.u);
    case NumberKind::Currency:
      return static_cast<double>(n.i) / 10000.0;
    case NumberKind::Real:
      break;
  }
  return n.r;
}

// Integer targets: round half to even, then check the range.
HRESULT ToInteger(const Number& n, std::int64_t low, std::uint64_t high, bool& negative, std::uint64_t& magnitude) {
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
  }
  if (negative && magnitude == 0) negative = false;
  const std::uint64_t lowMagnitude = low < 0 ? static_cast<std::uint64_t>(-(low + 1)) + 1 : 0;
  if (negative ? magnitude > lowMagnitude : magnitude > high) return DISP_E_OVERFLOW;
  return S_OK;
}

HRESULT NumberTo(const Number& n, VarType target, Variant& result) {
  struct Range {
    std::int64_t low;
    std::uint64_t high;
  };
  auto integer = [&](Range range, auto make) -> HRESULT {
    bool negative = false;
    std::uint64_t magnitude = 0;
    const HRESULT code = ToInteger(n, range.low, range.high, negative, magnitude);
    if (Failed(code)) return code;
    const std::int64_t signedValue =
        negative ? -static_cast<std::int64_t>(magnitude - 1) - 1 : static_cast<std::int64_t>(magnitude);
    result = make(signedValue, magnitude);
    return S_OK;
  };
  using L = std::numeric_limits<std::int64_t>;
  switch (target) {
    case VT_I1:
      return integer({-128, 127},
                     [](std::int64_t s, std::uint64_t) { return Variant::I1(static_cast<std::int8_t>(s)); });
    case VT_I2:
      return integer({-32768, 32767},
                     [](std::int64_t s, std::uint64_t) { return Variant::I2(static_cast<std::int16_t>(s)); });
    case VT_I4:
      return integer({-2147483648LL, 2147483647},
                     [](std::int64_t s, std::uint64_t) { return Variant::I4(static_cast<std::int32_t>(s)); });
    case VT_INT:
      return integer({-2147483648LL, 2147483647},
                     [](std::int64_t s, std::uint64_t) { return Variant::Int(static_cast<std::int32_t>(s)); });
    case VT_I8:
      return integer({L::min(), static_cast<std::uint64_t>(L::max())},
                     [](std::int64_t s, std::uint64_t) { return Variant::I8(s); });
    case VT_UI1:
      return integer({0, 255},
                     [](std::int64_t, std::uint64_t m) { return Variant::UI1(static_cast<std::uint8_t>(m)); });
    case VT_UI2:
      return integer({0, 65535},
                     [](std::int64_t, std::uint64_t m) { return Variant::UI2(static_cast<std::uint16_t>(m)); });
    case VT_UI4:
      return integer({0, 4294967295ULL},
                     [](std::int64_t, std::uint64_t m) { return Variant::UI4(static_cast<std::uint32_t>(m)); });
    case VT_UINT:
      return integer({0, 4294967295ULL},
                     [](std::int64_t, std::uint64_t m) { return Variant::UInt(static_cast<std::uint32_t>(m)); });
    case VT_UI8:
      return integer({0, std::numeric_limits<std::uint64_t>::max()},
                     [](std::int64_t, std::uint64_t m) { return Variant::UI8(m); });
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

bool EqualsIgnoringAsciiCase(std::u16string_view text, std::u16string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != word[i]) return false;
  }
  return true;
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
    while (!word.empty() && IsBlank(word.front())) word.remove_prefix(1);
    while (!word.empty() && IsBlank(word.back())) word.remove_suffix(1);
    if (EqualsIgnoringAsciiCase(word, u"true") || EqualsIgnoringAsciiCase(word, u"#true#")) {
      result = Variant::Bool(true);
      return S_OK;
    }
    if (EqualsIgnoringAsciiCase(word, u"false") || EqualsIgnoringAsciiCase(word, u"#false#")) {
      result = Variant::Bool(false);
      return S_OK;
    }
  }
  double value = 0;
  if (!ParseNumber(text, value)) return DISP_E_TYPEMISMATCH;
  return NumberTo(Number{NumberKind::Real, 0, 0, value}, target, result);
}

HRESULT BytesToText(const SafeArray& array, Variant& result) {
  const std::vector<std::uint8_t>& bytes = array.ByteData();
  std::u16string text((bytes.size() + 1) / 2, u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
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
  if (object.IsEmpty() || object->GetTypeInfo() == nullptr) return DISP_E_TYPEMISMATCH;
  // A value is asked of an object's default member.
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
  return NumberTo(number, target, result);
}

std::u16string FormatDouble(double value) { return FormatReal(value, 15); }

bool ParseNumber(std::u16string_view text, double& value) {
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  std::string ascii;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) ascii += static_cast<char>(text[pos++]);
  bool digits = false;
  while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
    ascii += static_cast<char>(text[pos++]);
    digits = true;
  }
  if (pos < text.size() && text[pos] == u'.') {
    ascii += '.';
    ++pos;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
      ascii += static_cast<char>(text[pos++]);
      digits = true;
    }
  }
  if (!digits) return false;
  if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
    std::string exponent = "e";
    std::size_t at = pos + 1;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) exponent += static_cast<char>(text[at++]);
    bool exponentDigits = false;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
      exponent += static_cast<char>(text[at++]);
      exponentDigits = true;
    }
    if (!exponentDigits) return false;
    ascii += exponent;
    pos = at;
  }
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos != text.size()) return false;
  // from_chars ignores the C locale (the decimal point is always ".") but
  // takes no "+".
  const char* first = ascii.data();
  if (*first == '+') ++first;
  const auto [end, error] = std::from_chars(first, ascii.data() + ascii.size(), value);
  if (error == std::errc::result_out_of_range) return false;
  return error == std::errc() && end == ascii.data() + ascii.size() && std::isfinite(value);
}

}  // namespace rankora::automation
