// The api source: the paid interface, which answers for up to 50 domains a
// call in JSON. Its code 200000 carries the domains it has data for in
// data.success[] and those it could not look up in data.failed[] (each a
// domain, or an object with the domain and the service's message): the
// latter fail with the service's words. Code 100008 ("too frequent") turns
// the whole call away, and since its limit is the key's, every exit with it
// (Reach::kSource). A rejected key (code 100001, or no key at all) fails the
// call for the whole run (Reach::kRun). Any other code is a failure of the
// call, its code and message the reason, retried as a transient one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lookup/source.h"

namespace rankora::lookup {

inline constexpr std::size_t kApiBatchSize = 50;
inline constexpr long kApiSuccess = 200000;
inline constexpr long kApiTooFrequent = 100008;
// The code of a key the service does not take (wrong, expired, disabled).
inline constexpr long kApiKeyRejected = 100001;

// "https://apistore.aizhan.com/baidurank/siteinfos/<key>?domains=<a>|<b>|...",
// on `service` when it is given.
std::string ApiUrl(const std::string& key, const std::vector<std::string>& domains, const std::string& service);

// One result per domain of `domains`, in that order, from the text of an
// answer that came back with a 2xx status (GBK).
std::vector<LookupResult> ReadApiAnswer(const std::string& answer, const std::vector<std::string>& domains);

class ApiSource : public Source {
 public:
  explicit ApiSource(SourceSettings settings) : settings_(std::move(settings)) {}

  std::vector<std::string> Columns() const override;
  std::size_t BatchSize() const override { return kApiBatchSize; }
  // More than BatchSize domains are asked for in several calls. An empty
  // domain, or one with the list's separator '|', fails without being asked.
  std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit& exit) override;

 private:
  std::vector<LookupResult> LookupBatch(const std::vector<std::string>& domains, const Exit& exit) const;

  SourceSettings settings_;
};

}  // namespace rankora::lookup
