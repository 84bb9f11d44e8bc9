#include "platform_deviations.h"

#include <array>

namespace rankora::testing {
namespace {

// Wine 8.0 as Debian 12 ships it, against Windows' documented behaviour.
constexpr std::array kDeviations{
    Deviation{"winhttp-option",
              "reading or writing WinHttpRequest.Option answers E_NOTIMPL for every option but the URL code page",
              "Option sets and returns each option's value (user agent, URL, redirects, ...)",
              "learn.microsoft.com: IWinHttpRequest::Option property; WinHttpRequestOption enumeration"},
    Deviation{"winhttp-all-headers", "GetAllResponseHeaders begins with the status line",
              "GetAllResponseHeaders returns the header lines only",
              "learn.microsoft.com: WinHttpRequest object, GetAllResponseHeaders method"},
    Deviation{"winhttp-charset",
              "ResponseText decodes only a body declared charset=utf-8; any other is read as UTF-8 or Latin-1",
              "ResponseText decodes the body in the character set that Content-Type names (gbk, gb2312, ...)",
              "learn.microsoft.com: IWinHttpRequest::ResponseText names no rule; on Windows the text follows the "
              "Content-Type charset, as users reading gbk pages rely on"},
    Deviation{"winhttp-wait-done",
              "WaitForResponse answers false once the response is in (after a synchronous Send or an earlier wait)",
              "WaitForResponse answers true when a response has been received; false only when the time-out ran out",
              "learn.microsoft.com: IWinHttpRequest::WaitForResponse method"},
    Deviation{"winhttp-setproxy",
              "SetProxy with HTTPREQUEST_PROXYSETTING_PROXY is accepted but not applied: the request goes direct",
              "the request goes through the proxy server that SetProxy names",
              "learn.microsoft.com: IWinHttpRequest::SetProxy method"},
    Deviation{"msscript-error-number",
              "a script error's Error.Number is the whole failure code (0x800A03EC) and its Description is "
              "\"Syntax error\"",
              "Error.Number is JScript's own error number (1004) and Description its message (\"Expected ';'\")",
              "learn.microsoft.com: JScript compilation errors, JScript error 1004; Script Control Error object"},
    Deviation{"msscript-reset-objects",
              "ScriptControl.Reset leaves the objects added with AddObject reachable from script",
              "Reset discards all script code and every object added to the control",
              "Script Control reference, Reset method (msscript.ocx)"},
    Deviation{"msscript-run-vararg",
              "a by-name ScriptControl.Run with more than one argument for the procedure fails "
              "(DISP_E_BADPARAMCOUNT): its dispatcher does not pack the trailing arguments into Run's "
              "by-reference SAFEARRAY(VARIANT) parameter",
              "the dispatcher packs the arguments after the procedure name into that array",
              "learn.microsoft.com: MIDL vararg attribute",
              "the automation layer packs trailing arguments into a declared trailing array of variants itself"},
    Deviation{"winhttp-bstr-length",
              "WinHttpRequest's StatusText and header texts are BSTRs whose length counts a terminating NUL",
              "a BSTR's length excludes its terminating NUL", "learn.microsoft.com: BSTR",
              "a text read from a variant ends at its first NUL, as the program's texts end at their first zero byte"},
    Deviation{"regexp-null-bstr",
              "VBScript.RegExp's Execute aborts the process on a null BSTR (an assertion in its regexp.c)",
              "a null BSTR is an empty text",
              "learn.microsoft.com: BSTR (\"a null pointer is a valid value for a BSTR variable\")",
              "the automation layer passes an empty text as an allocated empty BSTR"},
    Deviation{"regexp-match-type-info",
              "VBScript.RegExp's Match, MatchCollection and SubMatches objects give no type information",
              "they are described by vbscript.dll's type library (IMatch2, IMatchCollection2, ISubMatches)",
              "learn.microsoft.com: Regular Expression (RegExp) object, Match object, Matches collection",
              "an object without type information is called late-bound, asking for a method or a property at once"},
    Deviation{"code-page-54936", "MultiByteToWideChar has no code page 54936 (GB18030)", "code page 54936 is GB18030",
              "learn.microsoft.com: Code Page Identifiers",
              "GB18030's four-byte sequences are decoded from Rankora's own table on both platforms"},
    Deviation{"comctl32-version",
              "with the manifest's Common Controls 6 assembly loaded, comctl32's DllGetVersion still reports 5.x",
              "a program whose manifest asks for Common Controls 6 gets comctl32 6.x, and DllGetVersion says so",
              "learn.microsoft.com: Enabling Visual Styles; Common Control Versions",
              "the window's suite checks the manifest that asks for version 6, not the version reported"},
    Deviation{"winhttp-redirect-no-location",
              "a 3xx answer without a Location header ends the request with an error, as if nothing answered",
              "with redirects followed, a 3xx answer that names no place to go is the request's answer, with its "
              "status",
              "learn.microsoft.com: WinHttpRequestOption_EnableRedirects; RFC 9110 section 15.4 (a 3xx response "
              "without Location is a final response)",
              "Rankora reports either as a failure with its reason; the tests of the status skip under Wine"},
    Deviation{"ole-initialize-result", "OleInitialize on a thread whose COM is initialised answers S_OK",
              "it answers S_FALSE", "learn.microsoft.com: OleInitialize function, return value",
              "Rankora reads only success or failure of it"},
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
