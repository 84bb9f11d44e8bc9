// JScript's error numbers: the wording of each, and the number JScript
// gives to each error Duktape raises.
//
// A JScript error reaches the host as the HRESULT 0x800A0000 | number; the
// control's Error object reports the bare number for these.
#pragma once

#include <cstdint>
#include <string_view>

#include "automation/hresult.h"

namespace rankora::components::script {

namespace jscript {
// The numbers the heap raises by name.
inline constexpr int kOutOfMemory = 7;
inline constexpr int kOutOfStack = 28;
inline constexpr int kObjectDoesNotSupport = 438;  // property or method
inline constexpr int kSyntaxError = 1002;
inline constexpr int kExpectedSemicolon = 1004;
inline constexpr int kFunctionExpected = 5002;
inline constexpr int kObjectExpected = 5007;
inline constexpr int kUndefinedIdentifier = 5009;
inline constexpr int kUncaughtException = 5022;
}  // namespace jscript

// The HRESULT of JScript error `number`.
constexpr automation::HRESULT JScriptCode(int number) {
  return automation::MakeCode(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

// The number of a JScript (or any FACILITY_CONTROL) HRESULT, or -1.
int JScriptNumber(automation::HRESULT code);

// JScript's wording for error `number`, as its documentation lists it;
// empty for a number it does not list.
std::u16string_view JScriptWording(int number);

// Where in the code a compile error stopped: the word of the token Duktape
// was at, the word before it, and whether a line break lies between them.
struct SyntaxSite {
  std::u16string_view word;
  std::u16string_view previousWord;
  bool lineBreakBefore = false;
};

// The JScript number of an error Duktape raised: its constructor's name and
// message, and whether it came from compiling the code given to the control
// (`site` says where). Where Duktape's message does not tell which JScript
// error it is, the closest one.
int EngineErrorNumber(std::u16string_view name, std::u16string_view message, bool compiling,
                      const SyntaxSite& site = {});

// JScript's number for a failed call into a host object, as the script sees
// it: the host's own error, or JScript's for a call the host refused.
automation::HRESULT HostErrorCode(automation::HRESULT code);

}  // namespace rankora::components::script
