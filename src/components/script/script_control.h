// The in-house script control, created by name as on the platform, running
// JScript code on Duktape.
//
// Timeout is kept and read back but not enforced: Debian's Duktape is built
// without the hook that would stop a running script, as the platform's
// stand-ins elsewhere ignore it too. The program's own scripts run in time
// linear in the page they are given, and a page is only ever data passed as
// an argument, never code.
#pragma once

namespace rankora::components {

inline constexpr char kScriptControlProgId[] = "ScriptControl";
inline constexpr char kScriptControlClsid[] = "{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}";

}  // namespace rankora::components
