#include "batch/record.h"

#include <array>
#include <utility>

namespace rankora::batch {
namespace {

constexpr std::array<std::pair<lookup::Outcome, const char*>, 4> kNames{{
    {lookup::Outcome::kFound, "found"},
    {lookup::Outcome::kNone, "none"},
    {lookup::Outcome::kRefused, "refused"},
    {lookup::Outcome::kFailed, "failed"},
}};

}  // namespace

const char* OutcomeName(lookup::Outcome outcome) {
  for (const auto& [value, name] : kNames) {
    if (value == outcome) return name;
  }
  return "failed";
}

bool ParseOutcome(const std::string& name, lookup::Outcome& outcome) {
  for (const auto& [value, word] : kNames) {
    if (name == word) {
      outcome = value;
      return true;
    }
  }
  return false;
}

void OutcomeCounts::Count(lookup::Outcome outcome) {
  switch (outcome) {
    case lookup::Outcome::kFound:
      ++found;
      break;
    case lookup::Outcome::kNone:
      ++none;
      break;
    case lookup::Outcome::kRefused:
      ++refused;
      break;
    case lookup::Outcome::kFailed:
      ++failed;
      break;
  }
}

}  // namespace rankora::batch
