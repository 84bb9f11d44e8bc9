// The in-house script control, created by name as on the platform, running
// JScript code on Duktape.
//
// Timeout (milliseconds, 10000 at first, -1 for no limit) bounds every call
// that runs script: AddCode, ExecuteStatement, Eval, Run and the members of
// the objects it hands out. A call past it is stopped and fails with the
// platform's time-out error, 0x800705B4, as when the platform's control runs
// without UI; the control stays usable.
#pragma once

namespace rankora::components {

inline constexpr char kScriptControlProgId[] = "ScriptControl";
inline constexpr char kScriptControlClsid[] = "{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}";

}  // namespace rankora::components
