#include "components/script/script_errors.h"

#include <algorithm>
#include <iterator>

namespace rankora::components::script {

using namespace automation;

namespace {

struct Wording {
  int number;
  std::u16string_view text;
};

// The wording of Microsoft's "JScript Syntax Errors" and "JScript Run-time
// Errors" lists, with the run-time errors JScript shares with VBScript that
// it raises for calls into objects. Sorted by number.
constexpr Wording kWordings[] = {
    {5, u"Invalid procedure call or argument"},
    {6, u"Overflow"},
    {7, u"Out of memory"},
    {9, u"Subscript out of range"},
    {11, u"Division by zero"},
    {13, u"Type mismatch"},
    {28, u"Out of stack space"},
    {424, u"Object required"},
    {438, u"Object doesn't support this property or method"},
    {445, u"Object doesn't support this action"},
    {449, u"Argument not optional"},
    {450, u"Wrong number of arguments or invalid property assignment"},
    {451, u"Object not a collection"},
    {1002, u"Syntax error"},
    {1003, u"Expected ':'"},
    {1004, u"Expected ';'"},
    {1005, u"Expected '('"},
    {1006, u"Expected ')'"},
    {1007, u"Expected ']'"},
    {1008, u"Expected '{'"},
    {1009, u"Expected '}'"},
    {1010, u"Expected identifier"},
    {1011, u"Expected '='"},
    {1012, u"Expected '/'"},
    {1014, u"Invalid character"},
    {1015, u"Unterminated string constant"},
    {1016, u"Unterminated comment"},
    {1018, u"'return' statement outside of function"},
    {1019, u"Can't have 'break' outside of loop"},
    {1020, u"Can't have 'continue' outside of loop"},
    {1023, u"Expected hexadecimal digit"},
    {1024, u"Expected 'while'"},
    {1025, u"Label redefined"},
    {1026, u"Label not found"},
    {1027, u"'default' can only appear once in a 'switch' statement"},
    {1028, u"Expected identifier, string or number"},
    {1029, u"Expected '@end'"},
    {1030, u"Conditional compilation is turned off"},
    {1031, u"Expected constant"},
    {1032, u"Expected '@'"},
    {1033, u"Expected 'catch'"},
    {1035, u"Throw must be followed by an expression on the same source line"},
    {5000, u"Cannot assign to 'this'"},
    {5001, u"Number expected"},
    {5002, u"Function expected"},
    {5003, u"Cannot assign to a function result"},
    {5005, u"String expected"},
    {5006, u"Date object expected"},
    {5007, u"Object expected"},
    {5008, u"Illegal assignment"},
    {5009, u"Undefined identifier"},
    {5010, u"Boolean expected"},
    {5012, u"Object member expected"},
    {5013, u"VBArray expected"},
    {5014, u"JScript object expected"},
    {5015, u"Enumerator object expected"},
    {5016, u"Regular Expression object expected"},
    {5017, u"Syntax error in regular expression"},
    {5018, u"Unexpected quantifier"},
    {5019, u"Expected ']' in regular expression"},
    {5020, u"Expected ')' in regular expression"},
    {5021, u"Invalid range in character set"},
    {5022, u"Exception thrown and not caught"},
    {5023, u"Function does not have a valid prototype object"},
    {5024, u"The URI to be encoded contains an invalid character"},
    {5025, u"The URI to be decoded is not a valid encoding"},
    {5026, u"The number of fractional digits is out of range"},
    {5027, u"The precision is out of range"},
    {5028, u"Array or arguments object expected"},
    {5029, u"Array length must be a finite positive integer"},
    {5030, u"Array length must be assigned a finite positive number"},
};

bool Has(std::u16string_view text, std::u16string_view part) { return text.find(part) != std::u16string_view::npos; }

bool IsWord(std::u16string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$';
  });
}

// Duktape's compiler and lexer messages (also those of code compiled while a
// script runs, by eval or the Function constructor). Its most common one,
// "parse error", does not say what was expected: it is JScript's plain
// syntax error.
int SyntaxErrorNumber(std::u16string_view message, const SyntaxSite& site) {
  if (Has(message, u"unterminated statement")) return jscript::kExpectedSemicolon;
  if (Has(message, u"unterminated string")) return 1015;
  if (Has(message, u"unterminated comment")) return 1016;
  if (Has(message, u"unterminated regexp")) return 1012;
  if (Has(message, u"invalid token")) return 1014;
  if (Has(message, u"invalid escape")) return 1023;
  if (Has(message, u"invalid return")) return 1018;
  if (Has(message, u"duplicate label")) return 1025;
  if (Has(message, u"invalid label") || Has(message, u"invalid break/continue label")) {
    // Duktape stops at the label, or at what follows a bare break or continue.
    const bool keyword = site.previousWord == u"break" || site.previousWord == u"continue";
    if (!keyword || (!site.lineBreakBefore && IsWord(site.word))) return 1026;
    return site.previousWord == u"continue" ? 1020 : 1019;
  }
  if (Has(message, u"invalid switch")) return site.word == u"default" ? 1027 : jscript::kSyntaxError;
  if (Has(message, u"invalid try")) return 1033;
  if (Has(message, u"invalid throw")) return 1035;
  if (Has(message, u"expected identifier") || Has(message, u"function name required") ||
      Has(message, u"invalid function name") || Has(message, u"invalid argument name") ||
      Has(message, u"invalid variable declaration")) {
    return 1010;
  }
  if (Has(message, u"invalid object literal") || Has(message, u"invalid getter/setter name")) return 1028;
  if (Has(message, u"invalid array literal")) return 1007;
  if (Has(message, u"recursion limit")) return jscript::kOutOfStack;
  return jscript::kSyntaxError;
}

// A pattern the RegExp constructor refused.
int RegExpErrorNumber(std::u16string_view message) {
  if (Has(message, u"quantifier")) return 5018;
  if (Has(message, u"unterminated character class")) return 5019;
  if (Has(message, u"unexpected end of pattern")) return 5020;
  if (Has(message, u"invalid range")) return 5021;
  if (Has(message, u"regexp") || Has(message, u"pattern") || Has(message, u"backreference") ||
      Has(message, u"closing parenthesis")) {
    return 5017;
  }
  return -1;
}

}  // namespace

int JScriptNumber(HRESULT code) {
  const auto bits = static_cast<std::uint32_t>(code);
  return (bits & 0xFFFF0000u) == 0x800A0000u ? static_cast<int>(bits & 0xFFFFu) : -1;
}

std::u16string_view JScriptWording(int number) {
  const auto* found = std::lower_bound(std::begin(kWordings), std::end(kWordings), number,
                                       [](const Wording& w, int n) { return w.number < n; });
  return found != std::end(kWordings) && found->number == number ? found->text : std::u16string_view();
}

int EngineErrorNumber(std::u16string_view name, std::u16string_view message, bool compiling, const SyntaxSite& site) {
  if (compiling) return SyntaxErrorNumber(message, site);
  if (name == u"SyntaxError") {
    // Code compiled at run time carries the line Duktape stopped at.
    if (Has(message, u"(line ")) return SyntaxErrorNumber(message, {});
    const int regexp = RegExpErrorNumber(message);
    return regexp > 0 ? regexp : jscript::kSyntaxError;
  }
  if (name == u"ReferenceError") return Has(message, u"invalid lvalue") ? 5008 : jscript::kUndefinedIdentifier;
  if (name == u"TypeError") {
    // Calling a member an object lacks, as opposed to calling a value that
    // is no function.
    if (message.starts_with(u"undefined not callable (property ")) return jscript::kObjectDoesNotSupport;
    if (Has(message, u"not callable")) return jscript::kFunctionExpected;
    if (Has(message, u"not constructable")) return 445;
    if (Has(message, u"expected Date")) return 5006;
    return jscript::kObjectExpected;
  }
  if (name == u"RangeError") {
    if (Has(message, u"array length") || message == u"invalid length") return 5029;
    if (Has(message, u"stack") || Has(message, u"recursion limit")) return jscript::kOutOfStack;
    if (Has(message, u"number outside range")) return 5026;
    return 5;
  }
  if (name == u"URIError") return 5025;
  // Anything else a script threw.
  return jscript::kUncaughtException;
}

HRESULT HostErrorCode(HRESULT code) {
  switch (code) {
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
      return JScriptCode(jscript::kObjectDoesNotSupport);
    case DISP_E_TYPEMISMATCH:
      return JScriptCode(13);
    case DISP_E_BADPARAMCOUNT:
      return JScriptCode(450);
    case DISP_E_PARAMNOTFOUND:
      return JScriptCode(449);
    case DISP_E_OVERFLOW:
      return JScriptCode(6);
    case E_OUTOFMEMORY:
      return JScriptCode(jscript::kOutOfMemory);
    default:
      return code;
  }
}

}  // namespace rankora::components::script
