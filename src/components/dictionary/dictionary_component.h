// The in-house keyed dictionary, created by name as on the platform.
//
// Keys keep their insertion order and are found in constant time. A text key
// never equals a number key; numbers (booleans, dates and currency included)
// compare by value; objects by identity. Text compare mode ignores the case
// of Latin and full-width letters.
#pragma once

namespace rankora::components {

inline constexpr char kDictionaryProgId[] = "Scripting.Dictionary";
inline constexpr char kDictionaryClsid[] = "{EE09B103-97E0-11CF-978F-00A02463E06F}";

}  // namespace rankora::components
