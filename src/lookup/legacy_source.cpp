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
  const auto failed = [&domain](std::string why) {
    LookupResult result;
    result.domain = domain;
    result.outcome = Outcome::kFailed;
    result.reason = std::move(why);
    result.values.resize(1);
    return result;
  };
  const StepResult stamp = TryMakeTimeStamp();
  if (stamp.Failed()) return failed(stamp.failure);
  FetchRequest request;
  request.url = Rebase(RequestUrl(endpoints, domain, stamp.text), settings_.service);
  request.presetHeaders = true;
  request.exit = exit;
  request.timeout = settings_.timeout;
  const FetchResult answer = Fetch(request);
  std::optional<LookupResult> result = GoneAnswer(answer, request.url, domain);
  if (!result) result = ClassifyAnswer(answer, domain);
  if (!result) {
    result.emplace();
    result->domain = domain;
    result->retryAfter = answer.retryAfter;
    const std::string prefix = ImagePrefix(endpoints);
    if (text::Find(answer.body, prefix) < 0) {
      result->outcome = Outcome::kRefused;
      result->why = Why::kRefused;
      result->reason = "无权重图片";
    } else {
      StepResult weight = TryExtractWeight(answer.body, prefix, kImageSuffix);
      if (weight.Failed()) return failed(std::move(weight.failure));
      // An image without a number in its name is an answer without a weight.
      result->outcome = weight.text.empty() ? Outcome::kNone : Outcome::kFound;
      result->values.push_back(std::move(weight.text));
    }
  }
  result->values.resize(1);
  return std::move(*result);
}

}  // namespace rankora::lookup
