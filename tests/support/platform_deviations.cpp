#include "platform_deviations.h"

#include <array>

namespace rankora::testing {
namespace {

// Wine 8.0 as Debian 12 ships it, against Windows' documented behaviour.
constexpr std::array kDeviations{
    Deviation{"winhttp-option-read", "reading WinHttpRequest.Option answers E_NOTIMPL",
              "Option returns the option's current value (URL, user agent, code page, ...)",
              "learn.microsoft.com: WinHttpRequest object, Option property"},
    Deviation{"winhttp-all-headers", "GetAllResponseHeaders begins with the status line",
              "GetAllResponseHeaders returns the header lines only",
              "learn.microsoft.com: WinHttpRequest object, GetAllResponseHeaders method"},
    Deviation{"winhttp-charset",
              "ResponseText decodes only a body declared charset=utf-8; any other is read as UTF-8 or Latin-1",
              "ResponseText decodes the body in the character set that Content-Type names (gbk, gb2312, ...)",
              "learn.microsoft.com: WinHttpRequest object, ResponseText property"},
    Deviation{"msscript-error-number",
              "a script error's Error.Number is the whole failure code (0x800A03EC) and its Description is "
              "\"Syntax error\"",
              "Error.Number is JScript's own error number (1004) and Description its message (\"Expected ';'\")",
              "learn.microsoft.com: JScript compilation errors, JScript error 1004; Script Control Error object"},
    Deviation{"msscript-reset-objects",
              "ScriptControl.Reset leaves the objects added with AddObject reachable from script",
              "Reset discards all script code and every object added to the control",
              "Script Control reference, Reset method (msscript.ocx)"},
};

}  // namespace

std::span<const Deviation> Deviations() { return kDeviations; }

std::string DeviationReason(std::string_view id) {
  for (const Deviation& deviation : kDeviations) {
    if (deviation.id != id) continue;
    std::string reason = "Wine differs from Windows (";
    reason += deviation.id;
    reason += "): Wine: ";
    reason += deviation.wine;
    reason += "; Windows: ";
    reason += deviation.windows;
    reason += " [";
    reason += deviation.source;
    reason += "]";
    return reason;
  }
  return "unknown deviation " + std::string(id) + ": add it to the table";
}

}  // namespace rankora::testing
