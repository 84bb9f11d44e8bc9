// Conversions between variant kinds, by the platform's rules (its
// VariantChangeType without flags), because stored texts rely on them.
#pragma once

#include <string>
#include <string_view>

#include "automation/variant.h"

namespace rankora::automation {

// Converts `source` (references followed) to `target` into `result`.
// Failures: DISP_E_TYPEMISMATCH (no such conversion, a text that does not
// read as the target, null to anything but null), DISP_E_OVERFLOW (out of the
// target's range, a text number included), DISP_E_BADVARTYPE (a target that
// is no value kind). An object converts through its default member.
// Texts read as numbers in the forms ParseNumber describes, and as dates in
// the forms ParseDate describes.
HRESULT ChangeType(const Variant& source, VarType target, Variant& result);

// A variant's UTF-16 text as the program's text: GBK, ending at the first NUL
// character, as the program's texts end at their first zero byte (a BSTR may
// carry one inside or count a terminating one in its length).
std::string ProgramText(std::u16string_view text);

// A double as the platform writes it in a variant's text: 15 significant
// digits, the exponent form only where the plain form would need more
// ("1E+15", "5.6789E-12").
std::u16string DoubleToUtf16Text(double value);

// The value of a variant (references followed) that holds a number as a
// double, as ChangeType to VT_R8 gives it: the integer kinds, booleans (-1
// and 0), the float kinds, currency, dates. False for every other kind. Empty,
// which ChangeType reads as 0, is no number here: dictionary keys and script
// values keep it apart; a caller that keeps booleans or dates apart tests
// them first.
bool NumericValue(const Variant& value, double& number);

// A text read as a number as the platform reads it on a Chinese system:
// blanks around it (space, tab, CR, LF, the no-break and the ideographic
// space), one sign before or after it or parentheses around it for a
// negative number, digits with "," between those of the whole part, an
// optional "." and fraction, an optional exponent; or "&H" or "&O" and
// hexadecimal or octal digits up to 32 bits. False for anything else and for
// a number beyond the double range.
bool ParseNumber(std::u16string_view text, double& value);

}  // namespace rankora::automation
