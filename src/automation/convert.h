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
// target's range), DISP_E_BADVARTYPE (a target that is no value kind).
// An object converts through its default member.
HRESULT ChangeType(const Variant& source, VarType target, Variant& result);

// A double as the platform writes it: 15 significant digits, the exponent
// form only where the plain form would need more ("1E+15", "5.6789E-12").
std::u16string FormatDouble(double value);

// A text read as a number: blanks around it, an optional sign, digits with an
// optional decimal point and an optional exponent; nothing else.
bool ParseNumber(std::u16string_view text, double& value);

}  // namespace rankora::automation
