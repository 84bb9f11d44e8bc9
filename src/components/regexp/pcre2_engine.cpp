// The matching engine on PCRE2's 16-bit library.
#include <memory>

#include "components/regexp/regexp_engine.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace rankora::components::regexp {
namespace {

// The platform's line terminators (CR, LF, U+2028, U+2029), for "." and for
// ^ and $ across lines.
constexpr TargetSyntax kPcre2Syntax{
    .backReferenceBefore = u"\\g{",
    .backReferenceAfter = u"}",
    .anyButTerminator = u"[^\\r\\n\\u2028\\u2029]",
    .lineStart = u"(?<![^\\r\\n\\u2028\\u2029])",
    .lineEnd = u"(?![^\\r\\n\\u2028\\u2029])",
};

// The kind of a PCRE2 compile error; those the translation lets through.
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

class Pcre2Engine final : public Engine {
 public:
  static constexpr std::size_t kJitStackStart = 32u << 10;
  static constexpr std::size_t kJitStackMost = 1u << 20;

  Pcre2Engine(std::u16string_view pattern, bool ignoreCase, bool multiline) {
    const Translation translated = Translate(pattern, multiline, kPcre2Syntax);
    error_ = translated.error;
    if (error_ != PatternError::None) return;
    std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF;
    if (ignoreCase) options |= PCRE2_CASELESS;
    if (!multiline) options |= PCRE2_DOLLAR_ENDONLY;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.pattern.data()), translated.pattern.size(),
                              options, &errorCode, &errorOffset, nullptr));
    if (!code_) {
      error_ = ErrorOf(errorCode);
      return;
    }
    std::uint32_t jit = 0;
    pcre2_config(PCRE2_CONFIG_JIT, &jit);
    const bool jitted = jit != 0 && pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE) == 0;
    data_.reset(pcre2_match_data_create_from_pattern(code_.get(), nullptr));
    context_.reset(pcre2_match_context_create(nullptr));
    pcre2_set_match_limit(context_.get(), 5'000'000);
    pcre2_set_depth_limit(context_.get(), 100'000);
    if (jitted) {
      stack_.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMost, nullptr));
      pcre2_jit_stack_assign(context_.get(), nullptr, stack_.get());
    }
  }

  PatternError Error() const override { return error_; }

  MatchStatus Next(std::u16string_view text, std::size_t from, Found& found) override {
    const int result = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0,
                                   data_.get(), context_.get());
    if (result == PCRE2_ERROR_NOMATCH) return MatchStatus::None;
    // Backtracking past PCRE2's limits.
    if (result < 0) return MatchStatus::Limit;
    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(data_.get());
    std::uint32_t groups = 0;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    found.start = vector[0];
    found.end = vector[1];
    found.groups.assign(groups, std::nullopt);
    for (std::uint32_t g = 1; g <= groups && static_cast<int>(g) < result; ++g) {
      const std::size_t at = 2 * static_cast<std::size_t>(g);
      if (vector[at] != PCRE2_UNSET)
        found.groups[g - 1] = std::u16string(text.substr(vector[at], vector[at + 1] - vector[at]));
    }
    return MatchStatus::Found;
  }

 private:
  std::unique_ptr<pcre2_code, CodeFree> code_;
  std::unique_ptr<pcre2_match_data, MatchDataFree> data_;
  std::unique_ptr<pcre2_match_context, ContextFree> context_;
  std::unique_ptr<pcre2_jit_stack, JitStackFree> stack_;
  PatternError error_ = PatternError::None;
};

}  // namespace

std::unique_ptr<Engine> Compile(std::u16string_view pattern, bool ignoreCase, bool multiline) {
  return std::make_unique<Pcre2Engine>(pattern, ignoreCase, multiline);
}

}  // namespace rankora::components::regexp
