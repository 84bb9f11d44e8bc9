// A stand-in for the weight service, for tests, demos and benchmarks. It
// answers "/getbrinfo.php?url=<domain>/&_<ms>" (in origin form, or in
// absolute form when it stands behind http_proxy) with a page shaped like the
// service's, the weight shown as the image
// "http://static.aizhan.com/images/brs/<n>.gif" among other markup.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <string>

#include "loopback_server.h"

namespace rankora::tools {

struct WeightServiceOptions {
  std::map<std::string, std::string> weights;  // domain -> weight; others get the default
  std::string defaultWeight = "3";
  long refuseAfter = -1;  // after this many answers, pages without a weight (-1: never)
  std::chrono::milliseconds delay{0};
};

class WeightService {
 public:
  explicit WeightService(WeightServiceOptions options) : options_(std::move(options)) {}

  Reply Handle(const ReceivedRequest& request);
  // The domain a request asks for: the url parameter up to "/&_"; empty when
  // the request is not a weight query.
  static std::string DomainOf(const std::string& pathAndQuery);
  // The page for a domain with a weight, and the page of a refusal.
  static std::string WeightPage(const std::string& domain, const std::string& weight);
  static std::string RefusalPage();

 private:
  WeightServiceOptions options_;
  std::atomic<long> answered_{0};
};

}  // namespace rankora::tools
