// A stand-in for the weight service, for tests, demos and benchmarks. It
// answers the service's three sources, in origin form or in absolute form
// (when it stands behind http_proxy):
//   legacy: "/getbrinfo.php?url=<domain>/&_<ms>" -> a page showing the weight
//           as the image "http://static.aizhan.com/images/brs/<n>.gif";
//   page:   "/cha/<domain>/" -> today's domain page: Baidu PC (baidurank_br),
//           mobile (baidurank_mbr), 360_pr and sogou_pr as placeholders (an
//           <img> with alt "n") that its script fills from "/pr/<kind>" with
//           the tokens rn and cc it carries; bing_pr and google_pr as images
//           (alt and file name the weight); sm_pr inside a comment;
//           baidurank_ip (a visits range), backlink and whois_created.
//           The earlier layout (PageLayout::kEarlier) shows every weight as
//           an image, "n" for no data, and Shenma outside any comment;
//   fill:   "/pr/<kind>?callback=<name>&domain=<d>&rn=<rn>&cc=<cc>&_=<ms>",
//           kind baidu, yd, so, sm or sogou -> <name>({"pr":"N"}), "n" for
//           a domain without data; tokens other than a page of that domain
//           gave -> <name>({"code":403,"msg":...}) without a weight. Fills
//           are no queries of their own: no limit, no failures, not counted;
//   home:   "/" -> the home page, where the redirects below lead;
//   api:    "/baidurank/siteinfos/<key>?domains=<a>|<b>|..." ('|' may come
//           as %7C; at most 50 domains) -> JSON with code 200000 and
//           data.success[] / data.failed[]; a key it does not take gets
//           code 100001, a wrong list 100002, and `apiError` any code.
// Anything else gets a 404.
//
// Domains in `otherDomainPage` get the page of another domain; domains in
// `redirectHome` get a redirect (302) to the home page. `legacy` may take the
// legacy interface away: every legacy query then gets a 404, a 410 or a
// redirect to the home page, and is not counted.
//
// Weights: a domain's PC weight comes from `weights`, else `defaultWeight`.
// The other engines' values follow from it: mobile and 360 the same, Sogou
// one less (not below 0), Shenma one more (not above 10), Google 0; a weight
// that is no number is shown as it is for every engine. Domains in `noData`
// have none: alt "n" on the page, data.failed[] in the api (as the bare
// domain, or as {"domain", "msg"} for those in `apiFailedMessages`), and the
// legacy page shows weight 0, as the old service did for domains it had not
// ranked.
//
// Each request comes in through an exit (WeightServiceExits gives one per
// port) with its own limit of requests within a sliding window. A request
// over the limit, or any after `refuseAfter` queries in all, is refused the
// way its source refuses: legacy, the refusal page (200, no weight image);
// page, 403 or a security-check page (429 when Retry-After is asked); api,
// code 100008. The api's limit is its key's: its calls through every exit
// count against one window. Of the requests let through, a `failRate` share, picked by a
// sequence that only `seed` decides, are answered 503.
//
// Handle may be called from any number of threads at once.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "loopback_server.h"

namespace rankora::tools {

// The source a request asks, as the stand-in counts them.
enum class ServiceSource { kLegacy, kPage, kApi };

// The domain page the stand-in serves.
enum class PageLayout {
  k2026,     // today's: placeholders, Bing, details
  kEarlier,  // every weight an image
};

// How the page source refuses when no Retry-After is asked.
enum class PageRefusal {
  kForbidden,  // HTTP 403
  kCaptcha,    // 200 with a security-check page and no weights
  kAlternate,  // 403 and the security-check page in turn
};

// What the legacy interface does.
enum class LegacyInterface {
  kAnswering,     // answers as above
  kNotFound,      // 404
  kGone,          // 410
  kRedirectHome,  // 302 to the home page
};

// An answer the api gives instead of its data.
struct ApiError {
  long code = 0;
  std::string message;
  long times = -1;  // for this many calls let through, then data again (-1: every call)
};

// Every member has an initializer, so that the first ones alone may be given
// in braces.
struct WeightServiceOptions {
  std::map<std::string, std::string> weights;  // domain -> weight; others get the default
  std::string defaultWeight = "3";
  long refuseAfter = -1;  // after this many queries over all exits, refusals (-1: never)
  std::chrono::milliseconds delay{0};
  std::set<std::string> noData{};  // domains the service has no weights for
  std::string apiKey{};            // the key the api takes; empty: any key
  long limit = -1;                 // queries let through per exit within `window` (-1: no limit)
  std::chrono::milliseconds window{std::chrono::minutes(1)};
  std::optional<std::chrono::seconds> retryAfter{};  // sent with every refusal when set
  double failRate = 0;                               // 0..1
  std::uint64_t seed = 1;
  PageRefusal pageRefusal = PageRefusal::kForbidden;
  // The limit's clock; empty: the steady clock. Tests pass their own to move
  // the window without waiting.
  std::function<std::chrono::steady_clock::time_point()> clock{};
  // Domains the api lists in data.failed[] with a message (and no data).
  std::map<std::string, std::string> apiFailedMessages{};
  std::optional<ApiError> apiError{};
  PageLayout pageLayout = PageLayout::k2026;
  std::set<std::string> otherDomainPage{};  // domains whose page is another domain's
  std::set<std::string> redirectHome{};     // domains whose page redirects to the home page
  LegacyInterface legacy = LegacyInterface::kAnswering;
};

// What one exit has seen: queries (404s left out), and how they went.
struct ExitCounts {
  long queries = 0;
  long answered = 0;
  long refused = 0;
  long failed = 0;
};

// The weights the stand-in shows for a domain, one per engine; "n" for none.
struct EngineWeights {
  std::string pc;
  std::string mobile;
  std::string so360;
  std::string sogou;
  std::string shenma;
  std::string google;
  std::string bing;
};

class WeightService {
 public:
  static constexpr std::size_t kApiBatchLimit = 50;
  static constexpr long kApiSuccess = 200000;
  static constexpr long kApiBadKey = 100001;
  static constexpr long kApiBadDomains = 100002;
  static constexpr long kApiTooFrequent = 100008;
  static constexpr long kApiNoBalance = 100003;  // one of the other codes, such as `apiError` gives

  explicit WeightService(WeightServiceOptions options);

  // Answers a request that came in through exit 0.
  Reply Handle(const ReceivedRequest& request) { return Handle(request, 0); }
  // Answers a request that came in through exit `exit`, counted against that
  // exit's limit.
  Reply Handle(const ReceivedRequest& request, std::size_t exit);

  ExitCounts Counts(std::size_t exit) const;
  // Queries of that source over all exits, refused and failed ones included.
  long SourceCount(ServiceSource source) const;

  // The legacy domain a request asks for: the url parameter up to "/&_", as
  // sent; empty when the request is not a legacy query.
  static std::string DomainOf(const std::string& pathAndQuery);
  // The legacy page for a domain with a weight, and the legacy refusal page.
  static std::string WeightPage(const std::string& domain, const std::string& weight);
  static std::string RefusalPage();
  // The page source's domain page, and its security-check page.
  static std::string DomainPage(const std::string& domain, const EngineWeights& weights);
  // Today's domain page, with the fill tokens it carries.
  static std::string TodaysDomainPage(const std::string& domain, const EngineWeights& weights, const std::string& rn,
                                      const std::string& cc);
  static std::string HomePage();
  // The domain whose page is shown for the domains of otherDomainPage.
  static constexpr char kOtherDomain[] = "wrong.example";
  // Fill requests answered with a weight, and refused for their tokens.
  long FillCount() const { return fills_; }
  long BadTokenCount() const { return badTokens_; }
  static std::string SecurityCheckPage();

  // The weights shown for `domain` (percent-decoded).
  EngineWeights WeightsOf(const std::string& domain) const;

 private:
  struct ExitState {
    std::deque<std::chrono::steady_clock::time_point> admitted;  // within the window
    ExitCounts counts;
  };
  enum class Verdict { kAnswer, kRefuse, kFail };

  // Counts the query and says how it is to go.
  Verdict Admit(ServiceSource source, std::size_t exit);
  Reply Legacy(const std::string& domain, Verdict verdict);
  Reply Page(const std::string& domain, Verdict verdict);
  Reply Fill(const std::string& kind, const std::string& query);
  Reply Api(const std::string& key, const std::string& domains, Verdict verdict);
  void AddRetryAfter(Reply& reply) const;

  WeightServiceOptions options_;
  mutable std::mutex mutex_;
  std::map<std::size_t, ExitState> exits_;
  std::deque<std::chrono::steady_clock::time_point> keyAdmitted_;  // the api's, within the window
  long apiErrors_ = 0;
  std::array<long, 3> sources_{};
  long queries_ = 0;
  std::uint64_t admittedSequence_ = 0;
  std::atomic<long> pageRefusals_{0};
  std::map<std::string, std::set<std::string>> tokens_;  // domain -> "rn|cc" its pages gave
  std::uint64_t tokenSequence_ = 0;
  std::atomic<long> fills_{0};
  std::atomic<long> badTokens_{0};
};

// The stand-in behind several exits: one loopback server per port, all
// answering through one WeightService, each request counted against the
// exit (the index of its port) it came in on.
class WeightServiceExits {
 public:
  // `count` servers on free ports.
  WeightServiceExits(WeightServiceOptions options, std::size_t count);
  // One server per port (0: a free one).
  WeightServiceExits(WeightServiceOptions options, const std::vector<int>& ports);

  // True when every port is listening.
  bool Listening() const;
  bool Listening(std::size_t exit) const { return servers_[exit]->Listening(); }
  std::size_t Count() const { return servers_.size(); }
  int Port(std::size_t exit) const { return servers_[exit]->Port(); }
  std::string Host(std::size_t exit) const { return servers_[exit]->Host(); }
  std::string Origin(std::size_t exit) const { return servers_[exit]->Origin(); }
  // Every request the exit received, 404s included.
  std::size_t RequestCount(std::size_t exit) const { return servers_[exit]->RequestCount(); }
  std::vector<ReceivedRequest> Requests(std::size_t exit) const { return servers_[exit]->Requests(); }
  ExitCounts Counts(std::size_t exit) const { return service_->Counts(exit); }
  long RefusalCount(std::size_t exit) const { return Counts(exit).refused; }
  long SourceCount(ServiceSource source) const { return service_->SourceCount(source); }
  WeightService& Service() { return *service_; }

  void Stop();

 private:
  std::unique_ptr<WeightService> service_;
  std::vector<std::unique_ptr<LoopbackServer>> servers_;
};

}  // namespace rankora::tools
