// RegexObject: the platform's regular expression (ProgID "VBScript.RegExp")
// and the matches of its last search, as typed operations. Match and
// sub-match numbers are 1-based here. Texts are GBK; a failure gives the
// empty value of its kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
  // `replacement`, as plain text from left to right; gives the result.
  std::string Replace(std::string& text, const std::optional<std::string>& replacement = std::nullopt,
                      std::optional<bool> caseSensitive = std::nullopt);

 private:
  automation::Object regExp_;
  automation::Object matches_;
};

// Every occurrence of `old` in `text`, left to right and never overlapping
// nor starting inside a double-byte character, replaced by `replacement`.
std::string ReplaceAll(std::string_view text, std::string_view old, std::string_view replacement, bool caseSensitive);

}  // namespace rankora::regex
