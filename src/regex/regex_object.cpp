#include "regex/regex_object.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_set>

#include "automation/apartment.h"
#include "automation/dispatch.h"
#include "text/gbk.h"

namespace rankora::regex {

using namespace automation;

namespace {

std::int32_t Truncated(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

// The match at a 1-based number, or an empty value.
Object MatchAt(const Object& matches, std::int32_t match) {
  return ReadObjectProperty(matches, "item", {static_cast<double>(match) - 1});
}

// ReplaceAll, giving up (nothing) as soon as the result would pass `limit`
// bytes.
std::optional<std::string> ReplaceAllWithin(std::string_view text, std::string_view old, std::string_view replacement,
                                            bool caseSensitive, std::size_t limit) {
  if (old.empty() || text.empty()) return std::string(text);
  std::string out;
  auto append = [&](std::string_view piece) {
    if (piece.size() > limit - out.size()) return false;
    out.append(piece);
    return true;
  };
  // Each search starts where the last match ended, on a character boundary.
  for (std::size_t pos = 0; pos < text.size();) {
    const int found = text::Find(text.substr(pos), old, 1, !caseSensitive);
    const std::size_t at = found < 0 ? text.size() : pos + static_cast<std::size_t>(found) - 1;
    if (!append(text.substr(pos, at - pos))) return std::nullopt;
    if (found < 0) break;
    if (!append(replacement)) return std::nullopt;
    pos = at + old.size();
  }
  return out;
}

}  // namespace

RegexObject::RegexObject(const RegexObject& other) : regExp_(other.regExp_), matches_(other.matches_) {
  // Destroying the copy uninitialises once; so it initialises once.
  CoInitialize();
}

RegexObject& RegexObject::operator=(const RegexObject& other) {
  regExp_ = other.regExp_;
  matches_ = other.matches_;
  return *this;
}

RegexObject::~RegexObject() {
  regExp_.Clear();
  matches_.Clear();
  CoUninitialize();
}

bool RegexObject::Create(const std::string& pattern, std::optional<bool> caseSensitive, std::optional<bool> global) {
  CoInitialize();
  regExp_.Clear();
  if (!automation::Create(regExp_, "VBScript.RegExp")) return false;
  if (!WriteProperty(regExp_, "pattern", {pattern})) return false;
  if (!WriteProperty(regExp_, "ignorecase", {!caseSensitive.value_or(false)})) return false;
  return WriteProperty(regExp_, "global", {global.value_or(true)});
}

bool RegexObject::Test(const std::string& text) { return CallBoolMethod(regExp_, "test", {text}); }

std::int32_t RegexObject::Execute(const std::string& text) {
  if (regExp_.IsEmpty()) return 0;
  matches_.Clear();
  matches_ = CallObjectMethod(regExp_, "Execute", {text});
  return Truncated(ReadNumberProperty(matches_, "count"));
}

std::string RegexObject::GetMatch(std::int32_t match) {
  if (regExp_.IsEmpty() || matches_.IsEmpty()) return {};
  return CallTextMethod(MatchAt(matches_, match), "Value");
}

std::int32_t RegexObject::GetSubMatchCount(std::int32_t match) {
  if (regExp_.IsEmpty() || matches_.IsEmpty()) return 0;
  return Truncated(ReadNumberProperty(ReadObjectProperty(MatchAt(matches_, match), "SubMatches"), "count"));
}

std::string RegexObject::GetSubMatch(std::int32_t match, std::int32_t subMatch) {
  if (regExp_.IsEmpty() || matches_.IsEmpty()) return {};
  const Object subMatches = ReadObjectProperty(MatchAt(matches_, match), "SubMatches");
  return CallTextMethod(subMatches, "item", {static_cast<double>(subMatch) - 1});
}

std::string RegexObject::Replace(std::string& text, const std::optional<std::string>& replacement,
                                 std::optional<bool> caseSensitive) {
  const bool exact = caseSensitive.value_or(true);
  const std::size_t limit = std::max(kMaxReplacedSize, text.size());
  const std::int32_t count = Execute(text);
  std::string result = text;
  // The matched texts replaced so far, as the replacing compares them.
  std::unordered_set<std::string> replaced;
  for (std::int32_t i = 1; i <= count; ++i) {
    const std::string match = GetMatch(i);
    if (!replaced.insert(exact ? match : text::UpperAscii(match)).second) continue;
    std::optional<std::string> next = ReplaceAllWithin(result, match, replacement.value_or(""), exact, limit);
    if (!next) return {};
    result = std::move(*next);
  }
  text = result;
  return result;
}

std::string ReplaceAll(std::string_view text, std::string_view old, std::string_view replacement, bool caseSensitive) {
  return *ReplaceAllWithin(text, old, replacement, caseSensitive, std::string::npos);
}

}  // namespace rankora::regex
