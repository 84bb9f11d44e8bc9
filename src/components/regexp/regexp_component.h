// The in-house regular expression, created by name as the platform's
// VBScript.RegExp, for where the platform's is missing: it matches UTF-16 code
// units with the platform's syntax (\d is 0-9, \w is [A-Za-z0-9_], "."
// matches anything but CR, LF, U+2028 and U+2029, an escaped letter without a
// meaning there is the letter), on PCRE2 on Linux and on Duktape's regular
// expressions on Windows. A bad pattern raises the platform's error for its
// kind (5017 to 5021); a pattern that backtracks without end fails within the
// engine's limits, as out of stack space, instead of hanging.
#pragma once

namespace rankora::components {

inline constexpr char kRegExpProgId[] = "VBScript.RegExp";
inline constexpr char kRegExpClsid[] = "{3F4DACA4-160D-11D2-A8E9-00104B365C9F}";

}  // namespace rankora::components
