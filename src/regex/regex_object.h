// RegexObject: the platform's regular expression (ProgID "VBScript.RegExp")
// and the matches of its last search, as typed operations. Match and
// sub-match numbers are 1-based here. Texts are GBK; a failure gives the
// empty value of its kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/object.h"

namespace rankora::regex {

// Operations stand in the order of the object's table.
class RegexObject {
 public:
  RegexObject() = default;
  // A copy shares both the expression and the last matches.
  RegexObject(const RegexObject& other);
  RegexObject& operator=(const RegexObject& other);
  ~RegexObject();

  // Case-insensitive and global unless told otherwise.
  bool Create(const std::string& pattern, std::optional<bool> caseSensitive = std::nullopt,
              std::optional<bool> global = std::nullopt);
  bool Test(const std::string& text);
  // The number of matches, kept for the readings below.
  std::int32_t Execute(const std::string& text);
  std::string GetMatch(std::int32_t match);
  std::int32_t GetSubMatchCount(std::int32_t match);
  std::string GetSubMatch(std::int32_t match, std::int32_t subMatch);
  // Replaces, in `text` itself, every occurrence of every matched text by
  // `replacement`, as plain text from left to right; gives the result. A
  // matched text equal to one already replaced (by the replacing's own
  // comparison) is not replaced again: it could only be found inside the
  // replacements. When the text would grow past kMaxReplacedSize (or past
  // its own length, if that is longer), the replacing stops: `text` is left
  // as it was and the result is empty.
  std::string Replace(std::string& text, const std::optional<std::string>& replacement = std::nullopt,
                      std::optional<bool> caseSensitive = std::nullopt);

 private:
  automation::Object regExp_;
  automation::Object matches_;
};

inline constexpr std::size_t kMaxReplacedSize = std::size_t{32} << 20;

// Every occurrence of `old` in `text`, left to right and never overlapping
// nor starting inside a double-byte character, replaced by `replacement`.
std::string ReplaceAll(std::string_view text, std::string_view old, std::string_view replacement, bool caseSensitive);

}  // namespace rankora::regex
