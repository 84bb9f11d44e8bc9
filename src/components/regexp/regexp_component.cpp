#include "components/regexp/regexp_component.h"

#include <memory>
#include <string>
#include <vector>

#include "automation/component.h"
#include "automation/convert.h"
#include "automation/registry.h"
#include "components/regexp/regexp_engine.h"

namespace rankora::components {
namespace {

using namespace automation;

constexpr HRESULT kInvalidCall = MakeCode(0x800A0005);
constexpr HRESULT kOutOfStack = MakeCode(0x800A001C);
constexpr char16_t kSource[] = u"Microsoft VBScript runtime error";

using regexp::Found;
using regexp::MatchStatus;
using regexp::PatternError;

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
    if (!compiled_) compiled_ = regexp::Compile(pattern_, ignoreCase_, multiline_);
    if (compiled_->Error() != PatternError::None) {
      const ErrorText error = TextOf(compiled_->Error());
      return Raise(excep, error.code, error.description, kSource);
    }
    const std::u16string& text = args[0].TextValue();
    std::vector<Found> found;
    if (FindAll(text, id == kTest ? false : global_, found) == MatchStatus::Limit) {
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
  MatchStatus FindAll(std::u16string_view text, bool all, std::vector<Found>& found) {
    std::size_t from = 0;
    while (from <= text.size()) {
      Found match;
      const MatchStatus status = compiled_->Next(text, from, match);
      if (status != MatchStatus::Found) return status;
      found.push_back(std::move(match));
      if (!all) break;
      const Found& last = found.back();
      from = last.end > last.start ? last.end : last.end + 1;
    }
    return MatchStatus::Found;
  }

  static Object MakeMatches(std::u16string_view text, const std::vector<Found>& found) {
    std::vector<Object> matches;
    for (const Found& match : found) {
      std::vector<Variant> groups;
      for (const auto& group : match.groups) {
        // A group that took no part reads as empty.
        groups.push_back(group ? Variant::Text(*group) : Variant());
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
      if (const auto& value = match.groups[n - 1]) out += *value;
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
  std::unique_ptr<regexp::Engine> compiled_;
};

const ClassRegistration registration(kRegExpClsid, {kRegExpProgId}, [] { return MakeObject<RegExp>(); });

}  // namespace
}  // namespace rankora::components
