#include "components/regexp/regexp_component.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/component.h"
#include "automation/convert.h"
#include "automation/registry.h"

namespace rankora::components {
namespace {

using namespace automation;

constexpr HRESULT kInvalidCall = MakeCode(0x800A0005);
constexpr HRESULT kOutOfStack = MakeCode(0x800A001C);
constexpr char16_t kSource[] = u"Microsoft VBScript runtime error";

// The platform's line terminators, for "." and for ^ and $ across lines.
constexpr char16_t kNotTerminator[] = u"[^\\r\\n\\u2028\\u2029]";

// What is wrong with a pattern, each kind with the platform's own number.
enum class PatternError : std::uint8_t { None, Syntax, Quantifier, Bracket, Parenthesis, Range };

struct ErrorText {
  HRESULT code;
  const char16_t* description;
};

ErrorText TextOf(PatternError error) {
  switch (error) {
    case PatternError::Quantifier:
      return {MakeCode(0x800A139A), u"Unexpected quantifier"};  // 5018
    case PatternError::Bracket:
      return {MakeCode(0x800A139B), u"Expected ']' in regular expression"};  // 5019
    case PatternError::Parenthesis:
      return {MakeCode(0x800A139C), u"Expected ')' in regular expression"};  // 5020
    case PatternError::Range:
      return {MakeCode(0x800A139D), u"Invalid range in character set"};  // 5021
    default:
      return {MakeCode(0x800A1399), u"Syntax error in regular expression"};  // 5017
  }
}

// The kind of a PCRE2 compile error; those the rewriting lets through.
PatternError ErrorOf(int pcre2Error) {
  switch (pcre2Error) {
    case PCRE2_ERROR_MISSING_SQUARE_BRACKET:
      return PatternError::Bracket;
    case PCRE2_ERROR_MISSING_CLOSING_PARENTHESIS:
      return PatternError::Parenthesis;
    case PCRE2_ERROR_CLASS_RANGE_ORDER:
    case PCRE2_ERROR_CLASS_INVALID_RANGE:
      return PatternError::Range;
    case PCRE2_ERROR_QUANTIFIER_INVALID:
    case PCRE2_ERROR_INTERNAL_UNEXPECTED_REPEAT:
      return PatternError::Quantifier;
    default:
      return PatternError::Syntax;
  }
}

// PCRE2 objects, each with one owner.
struct CodeFree {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct ContextFree {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsOctal(char16_t c) { return c >= u'0' && c <= u'7'; }
bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

void AppendUnit(std::u16string& out, unsigned value) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
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
std::size_t DigitEscape(std::u16string_view pattern, std::size_t at, std::size_t groups, std::u16string& out) {
  auto digit = [&](std::size_t k) { return static_cast<unsigned>(pattern[at + k] - u'0'); };
  const std::size_t left = pattern.size() - at;
  if (pattern[at] != u'0') {
    if (left >= 2 && IsDigit(pattern[at + 1]) && digit(0) * 10 + digit(1) <= groups) {
      out += u"\\g{" + std::u16string(pattern.substr(at, 2)) + u"}";
      return 2;
    }
    if (digit(0) <= groups) {
      out += u"\\g{" + std::u16string(pattern.substr(at, 1)) + u"}";
      return 1;
    }
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

// The pattern in PCRE2's terms. The platform's dialect is JScript's: an
// escaped letter it does not know is that letter (\A, \z, \Q, \h, ...), \v
// is a vertical tab, only (?: (?= and (?! follow "(?", a quantifier needs
// something to repeat and is never possessive, "[" inside a class is a
// character, and "." and, across lines, ^ and $ are spelled out against the
// platform's terminators. Sets `error` for what PCRE2 would read otherwise.
std::u16string Translate(std::u16string_view pattern, bool multiline, PatternError& error) {
  std::u16string out;
  bool inClass = false;
  bool canRepeat = false;  // the last item is one a quantifier may follow
  std::size_t groups = 0;  // capturing groups opened so far
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      const char16_t e = pattern[++i];
      canRepeat = true;
      if (IsDigit(e)) {
        i += DigitEscape(pattern, i, inClass ? 0 : groups, out) - 1;
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
      } else if (IsAsciiLetter(e) && std::u16string_view(u"dDsSwWfnrtxu").find(e) == std::u16string_view::npos) {
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
      // "[^]" matches anything (PCRE2_ALLOW_EMPTY_CLASS).
      inClass = true;
      canRepeat = true;
      out += c;
      if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
    } else if (c == u'(') {
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') {
        if (i + 2 >= pattern.size() || std::u16string_view(u":=!").find(pattern[i + 2]) == std::u16string_view::npos) {
          error = PatternError::Syntax;
          return {};
        }
        out += pattern.substr(i, 3);
        i += 2;
      } else {
        ++groups;
        out += c;
      }
      canRepeat = false;
    } else if (c == u'*' || c == u'+' || c == u'?' || (c == u'{' && BraceQuantifier(pattern, i) > 0)) {
      if (!canRepeat) {
        error = PatternError::Quantifier;
        return {};
      }
      const std::size_t length = c == u'{' ? BraceQuantifier(pattern, i) : 1;
      out += pattern.substr(i, length);
      i += length - 1;
      // One "?" after a quantifier makes it lazy; nothing else may follow.
      if (i + 1 < pattern.size() && pattern[i + 1] == u'?') out += pattern[++i];
      canRepeat = false;
    } else if (c == u'|' || c == u'^' || c == u'$') {
      canRepeat = false;
      if (multiline && c != u'|') {
        out += c == u'^' ? u"(?<!" : u"(?!";
        out += kNotTerminator;
        out += u")";
      } else {
        out += c;
      }
    } else if (c == u'.') {
      out += kNotTerminator;
      canRepeat = true;
    } else {
      // A lone "{" is a character, as is "}".
      out += c == u'{' ? u"\\{" : std::u16string(1, c);
      canRepeat = true;
    }
  }
  return out;
}

struct Found {
  std::size_t start = 0;
  std::size_t end = 0;
  std::vector<std::optional<std::pair<std::size_t, std::size_t>>> groups;
};

class Compiled {
 public:
  static constexpr std::size_t kJitStackStart = 32u << 10;
  static constexpr std::size_t kJitStackMost = 1u << 20;

  // Not valid, with the kind of error, when the pattern does not compile.
  Compiled(std::u16string_view pattern, bool ignoreCase, bool multiline) {
    const std::u16string translated = Translate(pattern, multiline, error_);
    if (error_ != PatternError::None) return;
    std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF;
    if (ignoreCase) options |= PCRE2_CASELESS;
    if (!multiline) options |= PCRE2_DOLLAR_ENDONLY;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(), options, &errorCode,
                              &errorOffset, nullptr));
    if (!code_) {
      error_ = ErrorOf(errorCode);
      return;
    }
    std::uint32_t jit = 0;
    pcre2_config(PCRE2_CONFIG_JIT, &jit);
    jit_ = jit != 0 && pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE) == 0;
    data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    context_.reset(pcre2_match_context_create(nullptr));
    pcre2_set_match_limit(context_.get(), 5'000'000);
    pcre2_set_depth_limit(context_.get(), 100'000);
    if (jit_) {
      stack_.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMost, nullptr));
      pcre2_jit_stack_assign(context_.get(), nullptr, stack_.get());
    }
  }

  bool Valid() const { return code_ != nullptr; }
  PatternError Error() const { return error_; }

  // The first match at or after `from`: 1 found, 0 none, negative an error
  // (a match limit).
  int Next(std::u16string_view text, std::size_t from, Found& found) {
    const int result = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0,
                                   data_.get(), context_.get());
    if (result == PCRE2_ERROR_NOMATCH) return 0;
    if (result < 0) return result;
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data_.get());
    std::uint32_t groups = 0;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    found.start = vector[0];
    found.end = vector[1];
    found.groups.assign(groups, std::nullopt);
    for (std::uint32_t g = 1; g <= groups && static_cast<int>(g) < result; ++g) {
      const std::size_t at = 2 * static_cast<std::size_t>(g);
      if (vector[at] != PCRE2_UNSET) found.groups[g - 1] = std::make_pair(vector[at], vector[at + 1]);
    }
    return 1;
  }

 private:
  std::unique_ptr<pcre2_code, CodeFree> code_;
  std::unique_ptr<pcre2_match_data, MatchDataFree> data_;
  std::unique_ptr<pcre2_match_context, ContextFree> context_;
  std::unique_ptr<pcre2_jit_stack, JitStackFree> stack_;
  bool jit_ = false;
  PatternError error_ = PatternError::None;
};

class SubMatches final : public Component {
 public:
  explicit SubMatches(std::vector<Variant> items) : items_(std::move(items)) {}
  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Item", 0, false, InvokeKind::PropertyGet, VT_VARIANT, {ParamDesc{VT_I4, false, false}}, false},
        {"Count", 1, false, InvokeKind::PropertyGet, VT_I4, {}, false},
    });
    return &info;
  }
  HRESULT Invoke(DispId id, InvokeKind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    if (id == 1) {
      result = Variant::I4(static_cast<std::int32_t>(items_.size()));
      return S_OK;
    }
    const std::int64_t index = args[0].Signed();
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) {
      return Raise(excep, kInvalidCall, u"Invalid procedure call or argument", kSource);
    }
    result = items_[static_cast<std::size_t>(index)];
    return S_OK;
  }

 private:
  std::vector<Variant> items_;
};

class Match final : public Component {
 public:
  Match(std::u16string value, std::size_t firstIndex, Object subMatches)
      : value_(std::move(value)), firstIndex_(firstIndex), subMatches_(std::move(subMatches)) {}
  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Value", 0, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"FirstIndex", 1, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"Length", 2, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"SubMatches", 3, false, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
    });
    return &info;
  }
  HRESULT Invoke(DispId id, InvokeKind, CallArgs&, Variant& result, ExcepInfo&) override {
    switch (id) {
      case 0:
        result = Variant::Text(value_);
        break;
      case 1:
        result = Variant::I4(static_cast<std::int32_t>(firstIndex_));
        break;
      case 2:
        result = Variant::I4(static_cast<std::int32_t>(value_.size()));
        break;
      default:
        result = Variant::Dispatch(subMatches_);
        break;
    }
    return S_OK;
  }

 private:
  std::u16string value_;
  std::size_t firstIndex_;
  Object subMatches_;
};

class Matches final : public Component {
 public:
  explicit Matches(std::vector<Object> matches) : matches_(std::move(matches)) {}
  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Item", 0, false, InvokeKind::PropertyGet, VT_DISPATCH, {ParamDesc{VT_I4, false, false}}, false},
        {"Count", 1, false, InvokeKind::PropertyGet, VT_I4, {}, false},
    });
    return &info;
  }
  HRESULT Invoke(DispId id, InvokeKind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    if (id == 1) {
      result = Variant::I4(static_cast<std::int32_t>(matches_.size()));
      return S_OK;
    }
    const std::int64_t index = args[0].Signed();
    if (index < 0 || static_cast<std::size_t>(index) >= matches_.size()) {
      return Raise(excep, kInvalidCall, u"Invalid procedure call or argument", kSource);
    }
    result = Variant::Dispatch(matches_[static_cast<std::size_t>(index)]);
    return S_OK;
  }

 private:
  std::vector<Object> matches_;
};

class RegExp final : public Component {
 public:
  enum Member : DispId { kPattern = 1, kIgnoreCase, kGlobal, kMultiline, kTest, kExecute, kReplace };

  const TypeInfo* GetTypeInfo() const override {
    const ParamDesc text{VT_BSTR, false, false};
    const ParamDesc flag{VT_BOOL, false, false};
    static const TypeInfo info({
        {"Pattern", kPattern, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"Pattern", kPattern, false, InvokeKind::PropertyPut, VT_EMPTY, {text}, false},
        {"IgnoreCase", kIgnoreCase, false, InvokeKind::PropertyGet, VT_BOOL, {}, false},
        {"IgnoreCase", kIgnoreCase, false, InvokeKind::PropertyPut, VT_EMPTY, {flag}, false},
        {"Global", kGlobal, false, InvokeKind::PropertyGet, VT_BOOL, {}, false},
        {"Global", kGlobal, false, InvokeKind::PropertyPut, VT_EMPTY, {flag}, false},
        {"Multiline", kMultiline, false, InvokeKind::PropertyGet, VT_BOOL, {}, false},
        {"Multiline", kMultiline, false, InvokeKind::PropertyPut, VT_EMPTY, {flag}, false},
        {"Test", kTest, false, InvokeKind::Method, VT_BOOL, {text}, false},
        {"Execute", kExecute, false, InvokeKind::Method, VT_DISPATCH, {text}, false},
        {"Replace", kReplace, false, InvokeKind::Method, VT_BSTR, {text, ParamDesc{}}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    const bool get = kind == InvokeKind::PropertyGet;
    switch (id) {
      case kPattern:
        if (get) {
          result = Variant::Text(pattern_);
        } else {
          pattern_ = args[0].TextValue();
          compiled_.reset();
        }
        return S_OK;
      case kIgnoreCase:
      case kGlobal:
      case kMultiline: {
        bool& flag = id == kIgnoreCase ? ignoreCase_ : id == kGlobal ? global_ : multiline_;
        if (get) {
          result = Variant::Bool(flag);
        } else {
          flag = args[0].BoolValue();
          compiled_.reset();
        }
        return S_OK;
      }
      default:
        break;
    }
    if (!compiled_) compiled_ = std::make_unique<Compiled>(pattern_, ignoreCase_, multiline_);
    if (!compiled_->Valid()) {
      const ErrorText error = TextOf(compiled_->Error());
      return Raise(excep, error.code, error.description, kSource);
    }
    const std::u16string& text = args[0].TextValue();
    std::vector<Found> found;
    if (const int status = FindAll(text, id == kTest ? false : global_, found); status < 0) {
      // Backtracking past PCRE2's limits: where the platform's matcher would
      // run out of stack.
      return Raise(excep, kOutOfStack, u"Out of stack space", kSource);
    }
    if (id == kTest) {
      result = Variant::Bool(!found.empty());
    } else if (id == kExecute) {
      result = Variant::Dispatch(MakeMatches(text, found));
    } else {
      Variant replacement;
      if (Failed(ChangeType(args[1], VT_BSTR, replacement)))
        return Raise(excep, kInvalidCall, u"Type mismatch", kSource);
      result = Variant::Text(Replace(text, found, replacement.TextValue()));
    }
    return S_OK;
  }

 private:
  // Every match (or only the first), going on one unit past an empty match.
  int FindAll(std::u16string_view text, bool all, std::vector<Found>& found) {
    std::size_t from = 0;
    while (from <= text.size()) {
      Found match;
      const int status = compiled_->Next(text, from, match);
      if (status <= 0) return status;
      found.push_back(match);
      if (!all) return 1;
      from = match.end > match.start ? match.end : match.end + 1;
    }
    return 1;
  }

  static Object MakeMatches(std::u16string_view text, const std::vector<Found>& found) {
    std::vector<Object> matches;
    for (const Found& match : found) {
      std::vector<Variant> groups;
      for (const auto& group : match.groups) {
        // A group that took no part reads as empty.
        groups.push_back(group ? Variant::Text(std::u16string(text.substr(group->first, group->second - group->first)))
                               : Variant());
      }
      matches.push_back(MakeObject<Match>(std::u16string(text.substr(match.start, match.end - match.start)),
                                          match.start, MakeObject<SubMatches>(std::move(groups))));
    }
    return MakeObject<Matches>(std::move(matches));
  }

  // $1 to $99, $&, $`, $' and $$; a group number beyond the pattern's stays
  // as it is written.
  static std::u16string Expand(std::u16string_view text, const Found& match, std::u16string_view replacement) {
    std::u16string out;
    const std::size_t groups = match.groups.size();
    auto group = [&](std::size_t n) {
      const auto& span = match.groups[n - 1];
      if (span) out.append(text.substr(span->first, span->second - span->first));
    };
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char16_t c = replacement[i];
      if (c != u'$' || i + 1 >= replacement.size()) {
        out += c;
        continue;
      }
      const char16_t next = replacement[i + 1];
      if (next == u'$') {
        out += u'$';
        ++i;
      } else if (next == u'&') {
        out.append(text.substr(match.start, match.end - match.start));
        ++i;
      } else if (next == u'`') {
        out.append(text.substr(0, match.start));
        ++i;
      } else if (next == u'\'') {
        out.append(text.substr(match.end));
        ++i;
      } else if (next >= u'0' && next <= u'9') {
        const std::size_t one = static_cast<std::size_t>(next - u'0');
        const bool twoDigits = i + 2 < replacement.size() && replacement[i + 2] >= u'0' && replacement[i + 2] <= u'9';
        const std::size_t two = twoDigits ? one * 10 + static_cast<std::size_t>(replacement[i + 2] - u'0') : 0;
        if (twoDigits && two >= 1 && two <= groups) {
          group(two);
          i += 2;
        } else if (one >= 1 && one <= groups) {
          group(one);
          ++i;
        } else {
          out += c;
        }
      } else {
        out += c;
      }
    }
    return out;
  }

  static std::u16string Replace(std::u16string_view text, const std::vector<Found>& found,
                                std::u16string_view replacement) {
    std::u16string out;
    std::size_t copied = 0;
    for (const Found& match : found) {
      out.append(text.substr(copied, match.start - copied));
      out += Expand(text, match, replacement);
      copied = match.end;
    }
    out.append(text.substr(copied));
    return out;
  }

  std::u16string pattern_;
  bool ignoreCase_ = false;
  bool global_ = false;
  bool multiline_ = false;
  std::unique_ptr<Compiled> compiled_;
};

const ClassRegistration registration(kRegExpClsid, {kRegExpProgId}, [] { return MakeObject<RegExp>(); });

}  // namespace
}  // namespace rankora::components
