#include "lookup/legacy_source.h"

#include "lookup/fetch.h"
#include "lookup/weight_lookup.h"
#include "text/gbk.h"

namespace rankora::lookup {

std::vector<LookupResult> LegacySource::Lookup(const std::vector<std::string>& domains, const Exit& exit) {
  std::vector<LookupResult> results;
  results.reserve(domains.size());
  for (const std::string& domain : domains) results.push_back(LookupOne(domain, exit));
  return results;
}

LookupResult LegacySource::LookupOne(const std::string& domain, const Exit& exit) const {
  // The weight image stays on the real image host: a mirror serves the
  // service's pages, which name the images by their real address.
  const Endpoints endpoints;
  FetchRequest request;
  request.url = Rebase(RequestUrl(endpoints, domain, MakeTimeStamp()), settings_.service);
  request.presetHeaders = true;
  request.exit = exit;
  request.timeout = settings_.timeout;
  const FetchResult answer = Fetch(request);
  std::optional<LookupResult> result = ClassifyAnswer(answer, domain);
  if (!result) {
    result.emplace();
    result->domain = domain;
    result->retryAfter = answer.retryAfter;
    const std::string prefix = ImagePrefix(endpoints);
    if (text::Find(answer.body, prefix) < 0) {
      result->outcome = Outcome::kRefused;
      result->reason = "无权重图片";
    } else {
      std::string weight = ExtractWeight(answer.body, prefix, kImageSuffix);
      // An image without a number in its name is an answer without a weight.
      result->outcome = weight.empty() ? Outcome::kNone : Outcome::kFound;
      result->values.push_back(std::move(weight));
    }
  }
  result->values.resize(1);
  return std::move(*result);
}

}  // namespace rankora::lookup
