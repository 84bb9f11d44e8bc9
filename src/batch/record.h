// One finished domain of a long run, as the outputs write it and the journal
// reads it back.
#pragma once

#include <string>
#include <vector>

#include "lookup/source.h"

namespace rankora::batch {

struct Record {
  std::string domain;  // GBK
  lookup::Outcome outcome = lookup::Outcome::kFailed;
  std::vector<std::string> values;  // one per source column; see lookup::LookupResult
  std::string reason;               // UTF-8, for refused and failed
  int attempts = 0;                 // requests made for this domain
  std::string exit;                 // the exit of the last attempt: "direct" or "host:port"
  std::string time;                 // when it finished, local time "YYYY-MM-DD HH:MM:SS"

  // Found and none are final; refused and failed are asked again by a rerun.
  bool Done() const { return outcome == lookup::Outcome::kFound || outcome == lookup::Outcome::kNone; }
};

// How many records came out each way.
struct OutcomeCounts {
  long found = 0;
  long none = 0;
  long refused = 0;
  long failed = 0;

  void Count(lookup::Outcome outcome);
};

// "found", "none", "refused", "failed", and back; false for any other word.
const char* OutcomeName(lookup::Outcome outcome);
bool ParseOutcome(const std::string& name, lookup::Outcome& outcome);

}  // namespace rankora::batch
