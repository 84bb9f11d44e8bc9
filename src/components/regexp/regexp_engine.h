// What the regular expression's object model asks of a matching engine, and
// the reading of the platform's pattern dialect that every engine shares.
// Each build links exactly one engine (see CMakeLists.txt): PCRE2 where it is
// available, Duktape's regular expressions where it is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rankora::components::regexp {

// What is wrong with a pattern, each kind with the platform's own number
// (5017 to 5021).
enum class PatternError : std::uint8_t { None, Syntax, Quantifier, Bracket, Parenthesis, Range };

// One match, in UTF-16 units of the text; a group that took no part is empty.
struct Found {
  std::size_t start = 0;
  std::size_t end = 0;
  std::vector<std::optional<std::u16string>> groups;
};

enum class MatchStatus : std::uint8_t {
  Found,
  None,
  // The engine gave up on the text (backtracking, recursion or memory past
  // its limits): where the platform's matcher runs out of stack.
  Limit,
};

class Engine {
 public:
  Engine() = default;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  virtual ~Engine() = default;

  // None when the pattern compiled; Next is only asked then.
  virtual PatternError Error() const = 0;
  // The first match that starts at or after `from` (at most the text's size).
  // A search starts at 0 and goes on, `from` growing, through the same text:
  // the engine may keep the text it was handed at 0 until the next search.
  virtual MatchStatus Next(std::u16string_view text, std::size_t from, Found& found) = 0;
};

// The linked engine's reading of `pattern`; never null.
std::unique_ptr<Engine> Compile(std::u16string_view pattern, bool ignoreCase, bool multiline);

// How the engine's own syntax spells what the platform's dialect says
// differently.
struct TargetSyntax {
  // A back reference to group N: before + N + after.
  std::u16string_view backReferenceBefore;
  std::u16string_view backReferenceAfter;
  // ".", and ^ and $ when the pattern is multiline.
  std::u16string_view anyButTerminator;
  std::u16string_view lineStart;
  std::u16string_view lineEnd;
};

struct Translation {
  std::u16string pattern;
  std::size_t groups = 0;  // capturing groups
  PatternError error = PatternError::None;
};

// The pattern in the engine's terms, or the error the platform reports for
// what the engine would read otherwise.
Translation Translate(std::u16string_view pattern, bool multiline, const TargetSyntax& target);

}  // namespace rankora::components::regexp
