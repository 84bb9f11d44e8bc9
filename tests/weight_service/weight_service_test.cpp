// The stand-in weight service as its users see it: over loopback through its
// exits with a small HTTP client of the test's own (so the test decides the
// exact request line, absolute form included), and through Handle in-process
// where the socket adds nothing.
#include "weight_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"

namespace rankora::tools {
namespace {

using namespace std::chrono_literals;

struct Answer {
  int status = 0;  // 0: no answer
  std::vector<HttpMessageHeader> headers;
  std::string body;

  std::string Header(const std::string& name) const {
    for (const HttpMessageHeader& header : headers) {
      if (header.name == name) return header.value;
    }
    return {};
  }
};

// Sends "GET <target>" on a connection of its own, asking the server to close
// it after the answer, and reads the answer to its end.
Answer Get(int port, const std::string& target) {
  Answer answer;
  const SocketHandle connection = ConnectToLoopback(port);
  if (connection == kNoSocket) return answer;
  const std::string request = "GET " + target + " HTTP/1.1\r\nHost: www.aizhan.com\r\nConnection: close\r\n\r\n";
  std::string received;
  if (SendAll(connection, request)) {
    char chunk[4096];
    std::ptrdiff_t got = 0;
    while ((got = ReceiveSome(connection, chunk, sizeof chunk)) > 0)
      received.append(chunk, static_cast<std::size_t>(got));
  }
  CloseSocket(connection);
  const std::size_t headEnd = received.find("\r\n\r\n");
  if (received.rfind("HTTP/1.1 ", 0) != 0 || headEnd == std::string::npos) return answer;
  answer.status = std::stoi(received.substr(9, 3));
  std::size_t lineStart = received.find("\r\n") + 2;
  while (lineStart < headEnd) {
    const std::size_t lineEnd = received.find("\r\n", lineStart);
    const std::string line = received.substr(lineStart, lineEnd - lineStart);
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos) answer.headers.push_back({line.substr(0, colon), line.substr(colon + 2)});
    lineStart = lineEnd + 2;
  }
  answer.body = received.substr(headEnd + 4);
  return answer;
}

Reply HandleTarget(WeightService& service, const std::string& target, std::size_t exit = 0) {
  ReceivedRequest request;
  request.method = "GET";
  request.target = target;
  return service.Handle(request, exit);
}

std::string Legacy(const std::string& domain) { return "/getbrinfo.php?url=" + domain + "/&_1700000000000"; }
std::string Page(const std::string& domain) { return "/cha/" + domain + "/"; }
std::string Api(const std::string& domains, const std::string& key = "k") {
  return "/baidurank/siteinfos/" + key + "?domains=" + domains;
}

// The alt and the file name of the image inside the element of `id`; "?"
// when they differ or the element holds no image.
std::string Shown(const std::string& page, const std::string& id) {
  std::smatch match;
  const std::regex image("id=\"" + id + "\"[^>]*><img src=\"[^\"]*/([^/\"]*)\\.png\" alt=\"([^\"]*)\"");
  if (!std::regex_search(page, match, image) || match[1] != match[2]) return "?";
  return match[1];
}

// A clock the test moves by hand, read by the servers' threads.
class ManualClock {
 public:
  void Advance(std::chrono::steady_clock::duration by) { ticks_ += by.count(); }
  std::function<std::chrono::steady_clock::time_point()> Function() {
    return [this] { return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(ticks_.load())); };
  }

 private:
  std::atomic<std::chrono::steady_clock::duration::rep> ticks_{0};
};

WeightServiceOptions Weights() {
  WeightServiceOptions options;
  options.weights = {{"a.com", "7"}, {"b.com", "0"}, {"top.com", "10"}, {"中文.com", "5"}};
  options.defaultWeight = "2";
  options.noData = {"x.com"};
  return options;
}

// ---- The legacy source

TEST(LegacySource, ShowsTheDomainsWeightAsTheImage) {
  WeightService service(Weights());
  EXPECT_NE(HandleTarget(service, Legacy("a.com")).body.find("http://static.aizhan.com/images/brs/7.gif"),
            std::string::npos);
  EXPECT_NE(HandleTarget(service, Legacy("other.com")).body.find("/images/brs/2.gif"), std::string::npos);
}

TEST(LegacySource, ShowsWeightZeroForADomainWithoutData) {
  WeightService service(Weights());
  EXPECT_NE(HandleTarget(service, Legacy("x.com")).body.find("/images/brs/0.gif"), std::string::npos);
}

TEST(LegacySource, MakesNoMarkupOfTheDomain) {
  WeightService service(Weights());
  const std::string body = HandleTarget(service, Legacy("a<script>.com")).body;
  EXPECT_EQ(body.find("<script>"), std::string::npos);
}

TEST(LegacySource, CanBeGoneWithA404A410OrARedirectHomeCountingNoQuery) {
  WeightServiceOptions options = Weights();
  options.legacy = LegacyInterface::kNotFound;
  WeightService notFound(options);
  EXPECT_EQ(HandleTarget(notFound, Legacy("a.com")).status, 404);
  options.legacy = LegacyInterface::kGone;
  WeightService gone(options);
  EXPECT_EQ(HandleTarget(gone, Legacy("a.com")).status, 410);
  options.legacy = LegacyInterface::kRedirectHome;
  WeightService redirecting(options);
  const Reply home = HandleTarget(redirecting, Legacy("a.com"));
  EXPECT_EQ(home.status, 302);
  ASSERT_EQ(home.headers.size(), 2u);
  EXPECT_EQ(home.headers[1].name, "Location");
  EXPECT_EQ(home.headers[1].value, "/");
  EXPECT_EQ(redirecting.SourceCount(ServiceSource::kLegacy), 0);
  // The other sources answer as ever.
  EXPECT_EQ(HandleTarget(redirecting, Page("a.com")).status, 200);
}

// ---- The page source

// The stand-in with the domain page laid out as it was before placeholders.
WeightServiceOptions EarlierPage() {
  WeightServiceOptions options = Weights();
  options.pageLayout = PageLayout::kEarlier;
  return options;
}

TEST(PageSource, ShowsEachEnginesWeightInItsElement) {
  WeightService service(EarlierPage());
  const Reply reply = HandleTarget(service, Page("a.com"));
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(Shown(reply.body, "baidurank_br"), "7");
  EXPECT_EQ(Shown(reply.body, "baidurank_mbr"), "7");
  EXPECT_EQ(Shown(reply.body, "360_pr"), "7");
  EXPECT_EQ(Shown(reply.body, "sogou_pr"), "6");
  EXPECT_EQ(Shown(reply.body, "sm_pr"), "8");
  EXPECT_EQ(Shown(reply.body, "google_pr"), "0");
  EXPECT_NE(reply.body.find("/images/br/7.png"), std::string::npos);
  EXPECT_NE(reply.body.find("/images/mbr/7.png"), std::string::npos);
}

TEST(PageSource, KeepsDerivedWeightsWithinZeroToTen) {
  WeightService service(EarlierPage());
  EXPECT_EQ(Shown(HandleTarget(service, Page("b.com")).body, "sogou_pr"), "0");
  EXPECT_EQ(Shown(HandleTarget(service, Page("top.com")).body, "sm_pr"), "10");
}

TEST(PageSource, ShowsNForEveryEngineOfADomainWithoutData) {
  WeightService service(EarlierPage());
  const std::string body = HandleTarget(service, Page("x.com")).body;
  for (const char* id : {"baidurank_br", "baidurank_mbr", "360_pr", "sogou_pr", "sm_pr", "google_pr"}) {
    EXPECT_EQ(Shown(body, id), "n") << id;
  }
}

TEST(PageSource, SurroundsTheWeightsWithOtherImagesAndIds) {
  WeightService service(Weights());
  const std::string body = HandleTarget(service, Page("a.com")).body;
  int images = 0;
  for (std::size_t at = body.find("<img "); at != std::string::npos; at = body.find("<img ", at + 1)) ++images;
  EXPECT_GT(images, 6);
  // Ids that begin like the weights' own.
  EXPECT_NE(body.find("id=\"baidurank_ip\""), std::string::npos);
  EXPECT_NE(body.find("id=\"baidurank_m_ip\""), std::string::npos);
}

TEST(PageSource, DecodesAPercentEncodedDomain) {
  WeightService service(EarlierPage());
  EXPECT_EQ(Shown(HandleTarget(service, "/cha/%E4%B8%AD%E6%96%87.com/").body, "baidurank_br"), "5");
}

TEST(PageSource, MakesNoMarkupOfTheDomain) {
  WeightService earlier(EarlierPage());
  const std::string body = HandleTarget(earlier, "/cha/a%22%3E%3Cscript%3E.com/").body;
  EXPECT_EQ(body.find("<script>"), std::string::npos);
  EXPECT_EQ(body.find("a\">"), std::string::npos);
  // Today's page has scripts of its own, and the domain in one of them.
  WeightService today(Weights());
  const std::string page = HandleTarget(today, "/cha/a%22%3E%3Cscript%3E.com/").body;
  EXPECT_EQ(page.find("<script>.com"), std::string::npos);
  EXPECT_EQ(page.find("a\">"), std::string::npos);
  EXPECT_EQ(page.find("a\"></script>"), std::string::npos);
}

// The value today's page gives `name` in its script ("rn = 1, cc = "x",").
std::string Token(const std::string& page, const std::string& name) {
  std::smatch match;
  if (!std::regex_search(page, match, std::regex(name + " = \"?([^\",]*)\"?,"))) return {};
  return match[1];
}

std::string Fill(const std::string& kind, const std::string& domain, const std::string& rn, const std::string& cc) {
  return "/pr/" + kind + "?callback=cb&domain=" + domain + "&rn=" + rn + "&cc=" + cc + "&_=1";
}

TEST(PageSource, ShowsTodaysPageWithPlaceholdersThatItsFillAnswers) {
  WeightService service(Weights());
  const std::string page = HandleTarget(service, Page("a.com")).body;
  for (const char* id : {"baidurank_br", "baidurank_mbr", "360_pr", "sogou_pr"}) EXPECT_EQ(Shown(page, id), "n") << id;
  EXPECT_EQ(Shown(page, "bing_pr"), "3");
  EXPECT_EQ(Shown(page, "google_pr"), "0");
  EXPECT_NE(page.find("<!-- <li>"), std::string::npos);  // Shenma sits in a comment
  EXPECT_NE(page.find("id=\"baidurank_ip\" class=\"red\">50,000 ~ 19.9万</span>"), std::string::npos) << page;
  EXPECT_NE(page.find("id=\"whois_created\">18年7月12日<"), std::string::npos);
  const std::string rn = Token(page, "rn");
  const std::string cc = Token(page, "cc");
  ASSERT_FALSE(rn.empty());
  ASSERT_FALSE(cc.empty());
  EXPECT_EQ(HandleTarget(service, Fill("baidu", "a.com", rn, cc)).body, "cb({\"pr\":\"7\"})");
  EXPECT_EQ(HandleTarget(service, Fill("sogou", "a.com", rn, cc)).body, "cb({\"pr\":\"6\"})");
  EXPECT_EQ(service.FillCount(), 2);
  // Fills are part of the page's query, not queries of their own.
  EXPECT_EQ(service.Counts(0).queries, 1);

  const std::string none = HandleTarget(service, Page("x.com")).body;
  EXPECT_EQ(HandleTarget(service, Fill("yd", "x.com", Token(none, "rn"), Token(none, "cc"))).body,
            "cb({\"pr\":\"n\"})");
}

TEST(PageSource, AnswersAFillWithoutTheTokensOfThatDomainsPageWithAnError) {
  WeightService service(Weights());
  const std::string page = HandleTarget(service, Page("a.com")).body;
  const std::string rn = Token(page, "rn");
  const std::string cc = Token(page, "cc");
  for (const std::string& target : {Fill("baidu", "a.com", rn, "0"), Fill("baidu", "a.com", "1", cc),
                                    Fill("baidu", "b.com", rn, cc), Fill("baidu", "a.com", "", "")}) {
    const Reply reply = HandleTarget(service, target);
    EXPECT_EQ(reply.body.find("\"pr\""), std::string::npos) << target;
    EXPECT_NE(reply.body.find("\"code\":403"), std::string::npos) << target;
  }
  EXPECT_EQ(service.BadTokenCount(), 4);
  EXPECT_EQ(HandleTarget(service, Fill("bing", "a.com", rn, cc)).status, 404);
}

TEST(PageSource, ServesAnotherDomainsPageOrARedirectToTheHomePageForChosenDomains) {
  WeightServiceOptions options = Weights();
  options.otherDomainPage = {"a.com"};
  options.redirectHome = {"b.com"};
  WeightService service(options);
  const std::string other = HandleTarget(service, Page("a.com")).body;
  EXPECT_NE(other.find(std::string("<title>") + WeightService::kOtherDomain), std::string::npos);
  EXPECT_EQ(other.find("a.com"), std::string::npos);
  const Reply redirect = HandleTarget(service, Page("b.com"));
  EXPECT_EQ(redirect.status, 302);
  const auto location = std::find_if(redirect.headers.begin(), redirect.headers.end(),
                                     [](const auto& header) { return header.name == "Location"; });
  ASSERT_NE(location, redirect.headers.end());
  EXPECT_EQ(location->value, "/");
  EXPECT_EQ(HandleTarget(service, "/").body, WeightService::HomePage());
}

TEST(PageSource, IsNotFoundWithoutADomain) {
  WeightService service(Weights());
  EXPECT_EQ(HandleTarget(service, "/cha/").status, 404);
  EXPECT_EQ(HandleTarget(service, "/cha//").status, 404);
  EXPECT_EQ(HandleTarget(service, "/cha/?a.com").status, 404);
  EXPECT_EQ(service.SourceCount(ServiceSource::kPage), 0);
}

// ---- The api source

TEST(ApiSource, AnswersTheDomainsWithDataInSuccessAndTheOthersInFailed) {
  WeightService service(Weights());
  const Reply reply = HandleTarget(service, Api("a.com|x.com|b.com"));
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(
      reply.body,
      R"({"code":200000,"status":"success","data":{"success":[)"
      R"({"domain":"a.com","pc_br":7,"m_br":7,"ip":"100000 ~ 399998","pc_ip":"50000 ~ 199999","m_ip":"50000 ~ 199999"},)"
      R"({"domain":"b.com","pc_br":0,"m_br":0,"ip":"0 ~ 2","pc_ip":"0 ~ 1","m_ip":"0 ~ 1"}],)"
      R"("failed":["x.com"]}})");
  bool json = false;
  for (const HttpMessageHeader& header : reply.headers) {
    json = json || (header.name == "Content-Type" && header.value.rfind("application/json", 0) == 0);
  }
  EXPECT_TRUE(json);
}

TEST(ApiSource, TakesAPercentEncodedBarAsTheBar) {
  WeightService service(Weights());
  EXPECT_EQ(HandleTarget(service, Api("a.com%7Cx.com%7cb.com")).body,
            HandleTarget(service, Api("a.com|x.com|b.com")).body);
}

TEST(ApiSource, EscapesTheDomainsItEchoes) {
  WeightService service(Weights());
  EXPECT_NE(HandleTarget(service, Api("a%22b.com")).body.find(R"("domain":"a\"b.com")"), std::string::npos);
}

TEST(ApiSource, RefusesAWrongKeyWithItsOwnCode) {
  WeightServiceOptions options = Weights();
  options.apiKey = "right";
  WeightService service(options);
  EXPECT_EQ(HandleTarget(service, Api("a.com", "wrong")).body.rfind(R"({"code":100001,"status":"error","msg":)", 0),
            0u);
  EXPECT_EQ(HandleTarget(service, Api("a.com", "right")).body.rfind(R"({"code":200000,)", 0), 0u);
}

TEST(ApiSource, ListsTheFailedWithTheirMessageWhereItHasOne) {
  WeightServiceOptions options = Weights();
  options.apiFailedMessages = {{"a.com", "该域名暂无数据"}, {"q\"uote.com", "x"}};
  WeightService service(options);
  const std::string body = HandleTarget(service, Api("a.com|x.com|b.com|q%22uote.com")).body;
  EXPECT_NE(
      body.find(R"("failed":[{"domain":"a.com","msg":"该域名暂无数据"},"x.com",{"domain":"q\"uote.com","msg":"x"}])"),
      std::string::npos)
      << body;
  EXPECT_EQ(body.find(R"({"domain":"a.com","pc_br")"), std::string::npos) << body;
}

TEST(ApiSource, GivesAnyOtherCodeForAsManyCallsAsAsked) {
  WeightServiceOptions options = Weights();
  options.apiError = ApiError{WeightService::kApiNoBalance, "余额不足", 2};
  WeightService service(options);
  const std::string error = R"({"code":100003,"status":"error","msg":"余额不足"})";
  EXPECT_EQ(HandleTarget(service, Api("a.com")).body, error);
  // A rejected key is told first.
  EXPECT_EQ(HandleTarget(service, Api("a.com", "")).body.rfind(R"({"code":100001,)", 0), 0u);
  EXPECT_EQ(HandleTarget(service, Api("a.com")).body, error);
  EXPECT_EQ(HandleTarget(service, Api("a.com")).body.rfind(R"({"code":200000,)", 0), 0u);
  options.apiError->times = -1;
  WeightService always(options);
  for (int call = 0; call < 3; ++call) EXPECT_EQ(HandleTarget(always, Api("a.com")).body, error);
}

TEST(ApiSource, TakesAtMostFiftyDomains) {
  WeightService service(Weights());
  std::string fifty;
  for (int i = 0; i < 50; ++i) fifty += (i == 0 ? "" : "|") + std::to_string(i) + ".com";
  const std::string answered = HandleTarget(service, Api(fifty)).body;
  EXPECT_EQ(answered.rfind(R"({"code":200000,)", 0), 0u);
  EXPECT_NE(answered.find(R"("domain":"49.com")"), std::string::npos);
  EXPECT_EQ(HandleTarget(service, Api(fifty + "|50.com")).body.rfind(R"({"code":100002,)", 0), 0u);
  EXPECT_EQ(HandleTarget(service, Api("")).body.rfind(R"({"code":100002,)", 0), 0u);
}

// ---- Exits and their limits

class Limited : public ::testing::Test {
 protected:
  explicit Limited(WeightServiceOptions options = {}) {
    options.limit = 2;
    options.window = 60s;
    options.clock = clock_.Function();
    exits_ = std::make_unique<WeightServiceExits>(std::move(options), 2);
  }

  ManualClock clock_;
  std::unique_ptr<WeightServiceExits> exits_;
};

TEST_F(Limited, RefusesBeyondTheLimitOnlyOnThatExit) {
  ASSERT_TRUE(exits_->Listening());
  EXPECT_NE(Get(exits_->Port(0), Legacy("a.com")).body.find("/images/brs/"), std::string::npos);
  EXPECT_NE(Get(exits_->Port(0), Legacy("a.com")).body.find("/images/brs/"), std::string::npos);
  const Answer refused = Get(exits_->Port(0), Legacy("a.com"));
  EXPECT_EQ(refused.status, 200);
  EXPECT_EQ(refused.body, WeightService::RefusalPage());
  EXPECT_NE(Get(exits_->Port(1), Legacy("a.com")).body.find("/images/brs/"), std::string::npos);
  EXPECT_EQ(exits_->RefusalCount(0), 1);
  EXPECT_EQ(exits_->RefusalCount(1), 0);
  EXPECT_EQ(exits_->RequestCount(0), 3u);
  EXPECT_EQ(exits_->RequestCount(1), 1u);
}

TEST_F(Limited, LetsQueriesInAgainAsTheWindowSlides) {
  const int port = exits_->Port(0);
  Get(port, Page("a.com"));
  clock_.Advance(30s);
  Get(port, Page("a.com"));
  clock_.Advance(29s);
  EXPECT_EQ(Get(port, Page("a.com")).status, 403);
  clock_.Advance(1s);  // the first query is a minute old
  EXPECT_EQ(Get(port, Page("a.com")).status, 200);
  EXPECT_EQ(Get(port, Page("a.com")).status, 403);
  clock_.Advance(30s);  // the second one is
  EXPECT_EQ(Get(port, Page("a.com")).status, 200);
  EXPECT_EQ(exits_->Counts(0).answered, 4);
  EXPECT_EQ(exits_->Counts(0).refused, 2);
}

TEST_F(Limited, RefusesTheApiWithTooFrequent) {
  const int port = exits_->Port(1);
  Get(port, Api("a.com"));
  Get(port, Api("a.com"));
  const Answer refused = Get(port, Api("a.com"));
  EXPECT_EQ(refused.status, 200);
  EXPECT_EQ(refused.body.rfind(R"({"code":100008,)", 0), 0u);
  EXPECT_EQ(refused.Header("Retry-After"), "");
}

TEST_F(Limited, CountsTheApiAgainstItsKeyOverEveryExit) {
  EXPECT_EQ(Get(exits_->Port(0), Api("a.com")).body.rfind(R"({"code":200000,)", 0), 0u);
  EXPECT_EQ(Get(exits_->Port(1), Api("a.com")).body.rfind(R"({"code":200000,)", 0), 0u);
  EXPECT_EQ(Get(exits_->Port(1), Api("a.com")).body.rfind(R"({"code":100008,)", 0), 0u);
  EXPECT_EQ(Get(exits_->Port(0), Api("a.com")).body.rfind(R"({"code":100008,)", 0), 0u);
  // The page's limit stays each exit's own.
  EXPECT_EQ(Get(exits_->Port(0), Page("a.com")).status, 200);
  EXPECT_EQ(exits_->RefusalCount(0), 1);
  EXPECT_EQ(exits_->RefusalCount(1), 1);
}

class LimitedWithRetryAfter : public Limited {
 protected:
  static WeightServiceOptions RetryAfter() {
    WeightServiceOptions options;
    options.retryAfter = 30s;
    return options;
  }
  LimitedWithRetryAfter() : Limited(RetryAfter()) {}

  // Uses up exit 0's limit.
  void UseUpTheLimit() {
    Get(exits_->Port(0), Page("a.com"));
    Get(exits_->Port(0), Page("a.com"));
  }
};

TEST_F(LimitedWithRetryAfter, SendsRetryAfterWithEveryRefusal) {
  UseUpTheLimit();
  const Answer legacy = Get(exits_->Port(0), Legacy("a.com"));
  EXPECT_EQ(legacy.body, WeightService::RefusalPage());
  EXPECT_EQ(legacy.Header("Retry-After"), "30");
  const Answer page = Get(exits_->Port(0), Page("a.com"));
  EXPECT_EQ(page.status, 429);
  EXPECT_EQ(page.Header("Retry-After"), "30");
  // The api's limit is the key's, used up through any exit.
  Get(exits_->Port(1), Api("a.com"));
  Get(exits_->Port(1), Api("a.com"));
  const Answer api = Get(exits_->Port(0), Api("a.com"));
  EXPECT_EQ(api.body.rfind(R"({"code":100008,)", 0), 0u);
  EXPECT_EQ(api.Header("Retry-After"), "30");
}

TEST_F(LimitedWithRetryAfter, SendsNoRetryAfterWithAnAnswer) {
  const Answer answer = Get(exits_->Port(0), Page("a.com"));
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.Header("Retry-After"), "");
}

WeightServiceOptions PageRefusing(PageRefusal style) {
  WeightServiceOptions options;
  options.limit = 0;
  options.pageRefusal = style;
  return options;
}

TEST(PageRefusal, IsForbiddenOrASecurityCheckOrEachInTurn) {
  WeightService forbidden(PageRefusing(PageRefusal::kForbidden));
  EXPECT_EQ(HandleTarget(forbidden, Page("a.com")).status, 403);

  WeightService captcha(PageRefusing(PageRefusal::kCaptcha));
  const Reply check = HandleTarget(captcha, Page("a.com"));
  EXPECT_EQ(check.status, 200);
  EXPECT_EQ(check.body, WeightService::SecurityCheckPage());
  EXPECT_EQ(check.body.find("baidurank_br"), std::string::npos);

  WeightService alternate(PageRefusing(PageRefusal::kAlternate));
  EXPECT_EQ(HandleTarget(alternate, Page("a.com")).status, 403);
  EXPECT_EQ(HandleTarget(alternate, Page("a.com")).body, WeightService::SecurityCheckPage());
  EXPECT_EQ(HandleTarget(alternate, Page("a.com")).status, 403);
}

TEST(RefuseAfter, CountsTheQueriesOfAllExitsAndSources) {
  WeightServiceOptions options;
  options.refuseAfter = 2;
  WeightService service(options);
  EXPECT_NE(HandleTarget(service, Legacy("a.com"), 0).body.find("/images/brs/"), std::string::npos);
  EXPECT_EQ(HandleTarget(service, Page("a.com"), 1).status, 200);
  EXPECT_EQ(HandleTarget(service, Api("a.com"), 1).body.rfind(R"({"code":100008,)", 0), 0u);
  EXPECT_EQ(HandleTarget(service, Legacy("a.com"), 0).body, WeightService::RefusalPage());
}

TEST(ExitLimit, LetsExactlyTheLimitThroughUnderConcurrentConnections) {
  WeightServiceOptions options;
  options.limit = 50;
  WeightServiceExits exits(options, 1);
  ASSERT_TRUE(exits.Listening());
  std::vector<std::thread> clients;
  std::vector<int> answered(8, 0);
  for (std::size_t c = 0; c < answered.size(); ++c) {
    clients.emplace_back([&exits, &answered, c] {
      for (int i = 0; i < 25; ++i) {
        if (Get(exits.Port(0), Page("a.com")).status == 200) ++answered[c];
      }
    });
  }
  for (std::thread& client : clients) client.join();
  int total = 0;
  for (const int n : answered) total += n;
  EXPECT_EQ(total, 50);
  EXPECT_EQ(exits.Counts(0).answered, 50);
  EXPECT_EQ(exits.RefusalCount(0), 150);
}

// ---- Transient failures

std::vector<int> Statuses(double failRate, std::uint64_t seed, int count) {
  WeightServiceOptions options;
  options.failRate = failRate;
  options.seed = seed;
  WeightService service(options);
  std::vector<int> statuses;
  statuses.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) statuses.push_back(HandleTarget(service, Page("a.com")).status);
  return statuses;
}

TEST(FailRate, FailsNoneAtZeroAndAllAtOne) {
  for (const int status : Statuses(0, 1, 100)) EXPECT_EQ(status, 200);
  for (const int status : Statuses(1, 1, 100)) EXPECT_EQ(status, 503);
}

TEST(FailRate, FailsAboutThatShareInAnOrderTheSeedDecides) {
  const std::vector<int> first = Statuses(0.25, 7, 400);
  EXPECT_EQ(Statuses(0.25, 7, 400), first);
  EXPECT_NE(Statuses(0.25, 8, 400), first);
  const auto failed = std::count(first.begin(), first.end(), 503);
  EXPECT_GT(failed, 60);
  EXPECT_LT(failed, 140);
  EXPECT_EQ(std::count(first.begin(), first.end(), 200) + failed, 400);
}

TEST(FailRate, FailsEachSourceWith503AndCountsIt) {
  WeightServiceOptions options;
  options.failRate = 1;
  WeightServiceExits exits(options, 1);
  EXPECT_EQ(Get(exits.Port(0), Legacy("a.com")).status, 503);
  EXPECT_EQ(Get(exits.Port(0), Api("a.com")).status, 503);
  EXPECT_EQ(exits.Counts(0).failed, 2);
  EXPECT_EQ(exits.Counts(0).answered, 0);
}

// ---- As a proxy, and the counts

TEST(AsAProxy, AnswersEachSourceInAbsoluteForm) {
  WeightServiceExits exits(EarlierPage(), 2);
  ASSERT_TRUE(exits.Listening());
  const int proxy = exits.Port(1);
  EXPECT_NE(Get(proxy, "http://www.aizhan.com" + Legacy("a.com")).body.find("/images/brs/7.gif"), std::string::npos);
  EXPECT_EQ(Shown(Get(proxy, "http://www.aizhan.com" + Page("a.com")).body, "baidurank_br"), "7");
  EXPECT_EQ(Get(proxy, "http://apistore.aizhan.com" + Api("a.com|x.com")).body.rfind(R"({"code":200000,)", 0), 0u);
  EXPECT_EQ(exits.Counts(1).answered, 3);
  EXPECT_EQ(exits.RequestCount(0), 0u);
  EXPECT_EQ(exits.Requests(1)[0].target.rfind("http://www.aizhan.com/getbrinfo.php", 0), 0u);
}

TEST(Counts, TellTheSourcesApartAndLeaveOtherRequestsOut) {
  WeightServiceExits exits(Weights(), 1);
  Get(exits.Port(0), Legacy("a.com"));
  Get(exits.Port(0), Page("a.com"));
  Get(exits.Port(0), Page("b.com"));
  Get(exits.Port(0), Api("a.com|b.com"));
  EXPECT_EQ(Get(exits.Port(0), "/favicon.ico").status, 404);
  EXPECT_EQ(exits.SourceCount(ServiceSource::kLegacy), 1);
  EXPECT_EQ(exits.SourceCount(ServiceSource::kPage), 2);
  EXPECT_EQ(exits.SourceCount(ServiceSource::kApi), 1);
  EXPECT_EQ(exits.Counts(0).queries, 4);
  EXPECT_EQ(exits.RequestCount(0), 5u);
}

TEST(Counts, PutARequestHandledWithoutAnExitOnExitZero) {
  WeightService service(Weights());
  ReceivedRequest request;
  request.target = Page("a.com");
  service.Handle(request);
  EXPECT_EQ(service.Counts(0).answered, 1);
  EXPECT_EQ(service.Counts(1).queries, 0);
}

}  // namespace
}  // namespace rankora::tools
