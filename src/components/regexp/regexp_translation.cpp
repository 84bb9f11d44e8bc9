#include "components/regexp/regexp_engine.h"

#include <vector>

namespace rankora::components::regexp {
namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsOctal(char16_t c) { return c >= u'0' && c <= u'7'; }
bool IsHex(char16_t c) { return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

void AppendUnit(std::u16string& out, unsigned value) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

// Whether `count` hex digits follow `at`.
bool HexDigitsAfter(std::u16string_view pattern, std::size_t at, std::size_t count) {
  if (pattern.size() - at - 1 < count) return false;
  for (std::size_t k = 1; k <= count; ++k) {
    if (!IsHex(pattern[at + k])) return false;
  }
  return true;
}

// Whether the escaped letter at `at` is that letter: one without a meaning in
// the dialect, or \x and \u without their hex digits.
bool StandsForItself(std::u16string_view pattern, std::size_t at) {
  const char16_t e = pattern[at];
  if (e == u'x' || e == u'u') return !HexDigitsAfter(pattern, at, e == u'x' ? 2 : 4);
  return IsAsciiLetter(e) && std::u16string_view(u"dDsSwWfnrt").find(e) == std::u16string_view::npos;
}

// The length of the {n}, {n,} or {n,m} quantifier at `at`, or 0 when the
// brace there is a plain character.
std::size_t BraceQuantifier(std::u16string_view pattern, std::size_t at) {
  std::size_t i = at + 1;
  const std::size_t firstDigit = i;
  while (i < pattern.size() && IsDigit(pattern[i])) ++i;
  if (i == firstDigit) return 0;
  if (i < pattern.size() && pattern[i] == u',') {
    ++i;
    while (i < pattern.size() && IsDigit(pattern[i])) ++i;
  }
  return i < pattern.size() && pattern[i] == u'}' ? i + 1 - at : 0;
}

// An escaped digit: a back reference when that many groups open before it,
// else an octal code of up to three digits (\0 is NUL), else the digit.
// `at` is the first digit; returns the digits used.
std::size_t DigitEscape(std::u16string_view pattern, std::size_t at, std::size_t groups, const TargetSyntax& target,
                        std::u16string& out) {
  auto digit = [&](std::size_t k) { return static_cast<unsigned>(pattern[at + k] - u'0'); };
  auto reference = [&](std::size_t digits) {
    out += target.backReferenceBefore;
    out += pattern.substr(at, digits);
    out += target.backReferenceAfter;
    return digits;
  };
  const std::size_t left = pattern.size() - at;
  if (pattern[at] != u'0') {
    if (left >= 2 && IsDigit(pattern[at + 1]) && digit(0) * 10 + digit(1) <= groups) return reference(2);
    if (digit(0) <= groups) return reference(1);
  }
  if (!IsOctal(pattern[at])) {
    out += pattern[at];
    return 1;
  }
  const std::size_t most = digit(0) <= 3 ? 3 : 2;
  std::size_t used = 1;
  unsigned value = digit(0);
  while (used < most && used < left && IsOctal(pattern[at + used])) value = value * 8 + digit(used++);
  AppendUnit(out, value);
  return used;
}

}  // namespace

// The platform's dialect is JScript's: an escaped letter it does not know is
// that letter (\A, \z, \Q, \h, ...), as are \x and \u without their hex
// digits, \v is a vertical tab, only (?: (?= and (?! follow "(?", a
// quantifier needs something to repeat and is never possessive, "[" inside a
// class is a character, and so are a lone "{", "}" and "]".
Translation Translate(std::u16string_view pattern, bool multiline, const TargetSyntax& target) {
  Translation result;
  std::u16string& out = result.pattern;
  auto fail = [&](PatternError error) {
    result.pattern.clear();
    result.error = error;
    return result;
  };
  bool inClass = false;
  bool canRepeat = false;  // the last item is one a quantifier may follow
  std::size_t& groups = result.groups;
  std::vector<bool> lookaheads;  // for each open group, whether it is a lookahead
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      const char16_t e = pattern[++i];
      canRepeat = true;
      if (IsDigit(e)) {
        i += DigitEscape(pattern, i, inClass ? 0 : groups, target, out) - 1;
      } else if (e == u'v') {
        out += u"\\x0B";
      } else if (e == u'c') {
        // A control letter; a bare \c is a backslash and a "c".
        if (i + 1 < pattern.size() && IsAsciiLetter(pattern[i + 1])) {
          out += u"\\c";
          out += pattern[++i];
        } else {
          out += u"\\\\c";
        }
      } else if (e == u'b' || e == u'B') {
        // Inside a class \b is a backspace and \B a "B".
        if (inClass && e == u'B') {
          out += e;
        } else {
          out += u'\\';
          out += e;
          canRepeat = inClass;
        }
      } else if (StandsForItself(pattern, i)) {
        out += e;
      } else {
        out += u'\\';
        out += e;
      }
    } else if (inClass) {
      if (c == u'[') {
        out += u"\\[";
      } else {
        out += c;
        if (c == u']') inClass = false;
      }
    } else if (c == u'[') {
      // "]" right after the opening ends the class: "[]" never matches and
      // "[^]" matches anything.
      inClass = true;
      canRepeat = true;
      out += c;
      if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
    } else if (c == u'(') {
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') {
        if (i + 2 >= pattern.size() || std::u16string_view(u":=!").find(pattern[i + 2]) == std::u16string_view::npos) {
          return fail(PatternError::Syntax);
        }
        lookaheads.push_back(pattern[i + 2] != u':');
        out += pattern.substr(i, 3);
        i += 2;
      } else {
        lookaheads.push_back(false);
        ++groups;
        out += c;
      }
      canRepeat = false;
    } else if (c == u')') {
      // A lookahead is an assertion, which takes no quantifier (ECMAScript,
      // 3rd edition, 15.10.1); an unmatched ")" is left to the engine.
      canRepeat = lookaheads.empty() || !lookaheads.back();
      if (!lookaheads.empty()) lookaheads.pop_back();
      out += c;
    } else if (c == u'*' || c == u'+' || c == u'?' || (c == u'{' && BraceQuantifier(pattern, i) > 0)) {
      if (!canRepeat) return fail(PatternError::Quantifier);
      const std::size_t length = c == u'{' ? BraceQuantifier(pattern, i) : 1;
      out += pattern.substr(i, length);
      i += length - 1;
      // One "?" after a quantifier makes it lazy; nothing else may follow.
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') out += pattern[++i];
      canRepeat = false;
    } else if (c == u'|' || c == u'^' || c == u'$') {
      canRepeat = false;
      if (multiline && c != u'|') {
        out += c == u'^' ? target.lineStart : target.lineEnd;
      } else {
        out += c;
      }
    } else if (c == u'.') {
      out += target.anyButTerminator;
      canRepeat = true;
    } else {
      if (c == u'{' || c == u'}' || c == u']') out += u'\\';
      out += c;
      canRepeat = true;
    }
  }
  return result;
}

}  // namespace rankora::components::regexp
