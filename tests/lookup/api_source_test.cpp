#include "lookup/api_source.h"

#include <gtest/gtest.h>

#include "loopback_server.h"
#include "source_contract.h"
#include "text/gbk.h"
#include "weight_service.h"

namespace rankora::lookup {
namespace {

using std::chrono::seconds;
using tools::LoopbackServer;
using tools::ReceivedRequest;
using tools::Reply;
using Values = std::vector<std::string>;

const std::vector<std::string> kDomains = {"www.a.com", "www.b.com", "www.c.com"};

std::vector<LookupResult> Read(const std::string& utf8Json, const std::vector<std::string>& domains = kDomains) {
  return ReadApiAnswer(text::Gbk(utf8Json), domains);
}

TEST(ReadApiAnswer, GivesEachDomainItsValuesInTheOrderAsked) {
  const auto results = Read(R"({"code":200000,"status":"success","msg":"ok","data":{"success":[
    {"domain":"www.c.com","pc_br":"2","m_br":"3","ip":"100 ~ 200","pc_ip":"50","m_ip":"80"},
    {"domain":"WWW.A.COM","pc_br":7,"m_br":6,"ip":123456,"pc_ip":1000.0,"m_ip":null}],"failed":["www.b.com"]}})");
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].domain, "www.a.com");
  EXPECT_EQ(results[0].outcome, Outcome::kFound);
  EXPECT_EQ(results[0].values, (Values{"7", "6", "123456", "1000", ""}));
  EXPECT_EQ(results[1].domain, "www.b.com");
  EXPECT_EQ(results[1].outcome, Outcome::kFailed);
  EXPECT_EQ(results[1].reason, "接口查不到该域名");
  EXPECT_EQ(results[1].values, Values(5));
  EXPECT_EQ(results[2].outcome, Outcome::kFound);
  EXPECT_EQ(results[2].values, (Values{"2", "3", "100 ~ 200", "50", "80"}));
}

TEST(ReadApiAnswer, HasNoMainWeightWithoutPcBr) {
  const auto results = Read(R"({"code":"200000","data":{"success":[{"domain":"www.a.com","m_br":2},
    {"domain":"www.b.com","pc_br":"","m_br":"1"},{"domain":"www.c.com","pc_br":0}]}})");
  EXPECT_EQ(results[0].outcome, Outcome::kNone);
  EXPECT_EQ(results[0].values, (Values{"", "2", "", "", ""}));
  EXPECT_EQ(results[1].outcome, Outcome::kNone);
  EXPECT_EQ(results[2].outcome, Outcome::kFound);
  EXPECT_EQ(results[2].values[0], "0");
}

TEST(ReadApiAnswer, TakesTooFrequentAsARefusalOfTheWholeCall) {
  const auto results = Read(R"({"code":100008,"msg":"请求过于频繁"})");
  ASSERT_EQ(results.size(), 3u);
  for (const LookupResult& result : results) {
    EXPECT_EQ(result.outcome, Outcome::kRefused);
    EXPECT_EQ(result.reason, "100008 请求过于频繁");
    EXPECT_EQ(result.values, Values(5));
    // Its limit is the key's, which every exit shares.
    EXPECT_EQ(result.reach, Reach::kSource);
  }
  EXPECT_EQ(results[2].domain, "www.c.com");
}

TEST(ReadApiAnswer, FailsOnOtherCodesWithTheirMessage) {
  const auto results = Read(R"({"code":100002,"status":"error","msg":"key 错误"})");
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);
  EXPECT_EQ(results[0].reason, "100002 key 错误");
  // A failure of this call alone, retried as a transient one.
  EXPECT_EQ(results[0].reach, Reach::kExit);
  EXPECT_EQ(Read(R"({"code":"100003","message":"余额不足"})")[1].reason, "100003 余额不足");
  EXPECT_EQ(Read(R"({"code":100004})")[1].reason, "100004");
}

TEST(ReadApiAnswer, TakesARejectedKeyAsTheEndOfTheRun) {
  for (const std::string json :
       {R"({"code":100001,"status":"error","msg":"key错误或已过期"})", R"({"code":"100001"})"}) {
    const auto results = Read(json);
    ASSERT_EQ(results.size(), 3u);
    for (const LookupResult& result : results) {
      EXPECT_EQ(result.outcome, Outcome::kFailed) << json;
      EXPECT_EQ(result.reach, Reach::kRun) << json;
      EXPECT_TRUE(result.reason.starts_with("接口密钥被拒绝：100001")) << result.reason;
      EXPECT_EQ(result.values, Values(5));
    }
  }
  EXPECT_EQ(Read(R"({"code":100001,"msg":"key错误或已过期"})")[0].reason, "接口密钥被拒绝：100001 key错误或已过期");
}

TEST(ReadApiAnswer, FailsEachDomainOfFailedWithTheServicesWords) {
  const auto results = Read(R"({"code":200000,"data":{"success":[],"failed":[
    {"domain":"WWW.A.COM","msg":"该域名暂无数据"},"www.b.com",{"domain":"www.c.com"},{"msg":"nameless"},7]}})");
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);
  EXPECT_EQ(results[0].reason, "该域名暂无数据");
  EXPECT_EQ(results[0].reach, Reach::kExit);
  EXPECT_EQ(results[1].outcome, Outcome::kFailed);
  EXPECT_EQ(results[1].reason, "接口查不到该域名");
  EXPECT_EQ(results[2].reason, "接口查不到该域名");
  EXPECT_EQ(Read(R"({"code":200000,"data":{"failed":[{"domain":"www.a.com","message":"查询失败"}]}})")[0].reason,
            "查询失败");
  // Found as well as failed: the data wins.
  const auto both = Read(
      R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":2}],"failed":[{"domain":"www.a.com","msg":"x"}]}})");
  EXPECT_EQ(both[0].outcome, Outcome::kFound);
  EXPECT_EQ(both[0].reason, "");
}

TEST(ReadApiAnswer, FailsOnAnUnreadableAnswer) {
  for (const std::string json :
       {"", "<html>502 Bad Gateway</html>", "{\"code\":200000,\"data\":{\"success\":[", "[1,2]", R"({"msg":"no code"})",
        R"({"code":"abc"})", R"({"code":200000})", R"({"code":200000,"data":{"success":"www.a.com"}})"}) {
    const auto results = Read(json);
    ASSERT_EQ(results.size(), 3u) << json;
    EXPECT_EQ(results[0].outcome, Outcome::kFailed) << json;
    EXPECT_EQ(results[0].reason, "无法解析的应答") << json;
  }
}

TEST(ReadApiAnswer, SkipsMalformedEntries) {
  const auto results = Read(R"({"code":200000,"data":{"success":[1,{"pc_br":3},{"domain":5,"pc_br":4},
    {"domain":"www.b.com","pc_br":{"x":1},"m_br":[1]},{"domain":"www.c.com","pc_br":"5"},{"domain":"www.c.com","pc_br":"6"}]}})");
  // No usable entry names www.a.com: it was not answered for.
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);
  EXPECT_EQ(results[0].reason, "应答中没有该域名");
  // An object where a weight belongs is no weight.
  EXPECT_EQ(results[1].outcome, Outcome::kFailed);
  EXPECT_EQ(results[1].reason, R"(无法解析的应答 pc_br={"x":1})");
  EXPECT_EQ(results[2].values[0], "5");
}

TEST(ReadApiAnswer, FailsOnAWeightThatIsNoWholeNumberFromZeroToTen) {
  for (const std::string value :
       {R"("abc")", "-3", "1e99", "5.5", "2147483648", "11", R"("-1")", R"(" 5")", "true", R"("0x5")", R"("5.0")"}) {
    const auto results =
        Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":)" + value + R"(,"m_br":1}]}})",
             {"www.a.com"});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, Outcome::kFailed) << value;
    EXPECT_TRUE(results[0].reason.starts_with("无法解析的应答 pc_br=")) << results[0].reason;
    EXPECT_EQ(results[0].values, Values(5)) << value;
  }
  // The mobile weight is held to the same rule.
  const auto mobile =
      Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":3,"m_br":99}]}})", {"www.a.com"});
  EXPECT_EQ(mobile[0].outcome, Outcome::kFailed);
  EXPECT_EQ(mobile[0].reason, "无法解析的应答 m_br=99");
  EXPECT_EQ(
      Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":"abc"}]}})", {"www.a.com"})[0].reason,
      R"(无法解析的应答 pc_br="abc")");
  // Every whole number from 0 to 10 is a weight, as a number or as digits
  // (and 7.0 is 7).
  EXPECT_EQ(
      Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":7.0}]}})", {"www.a.com"})[0].values[0],
      "7");
  for (int weight = 0; weight <= 10; ++weight) {
    const std::string number = std::to_string(weight);
    const auto results = Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":)" + number +
                                  R"(,"m_br":")" + number + R"("}]}})",
                              {"www.a.com"});
    EXPECT_EQ(results[0].outcome, Outcome::kFound) << weight;
    EXPECT_EQ(results[0].values[0], number);
    EXPECT_EQ(results[0].values[1], number);
  }
  // A long value is cut in the reason, never inside a character.
  const auto long_value = Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":")" +
                                   std::string(31, 'x') + "权重权重权重" + R"("}]}})",
                               {"www.a.com"});
  EXPECT_EQ(long_value[0].reason, "无法解析的应答 pc_br=\"" + std::string(31, 'x') + "权重...");
}

TEST(ReadApiAnswer, FailsADomainTheAnswerListsNeitherAsFoundNorAsFailed) {
  const auto results =
      Read(R"({"code":200000,"data":{"success":[{"domain":"www.a.com","pc_br":4}],"failed":["WWW.C.COM"]}})");
  EXPECT_EQ(results[0].outcome, Outcome::kFound);
  EXPECT_EQ(results[1].outcome, Outcome::kFailed);
  EXPECT_EQ(results[1].reason, "应答中没有该域名");
  EXPECT_EQ(results[2].outcome, Outcome::kFailed);
  EXPECT_EQ(results[2].reason, "接口查不到该域名");
  // An answer without either list answers for none of them.
  for (const auto& result : Read(R"({"code":200000,"data":{}})")) {
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.reason, "应答中没有该域名");
  }
}

TEST(ReadApiAnswer, MatchesDomainsInAnyAsciiCaseButNeverOneHanziForAnother) {
  // In GBK 丄 is 81 41 and 乤 81 61: their second bytes differ as "A" and "a" do.
  const auto results = Read(R"({"code":200000,"data":{"success":[{"domain":"乤.COM","pc_br":4}]}})",
                            {text::Gbk("丄.com"), text::Gbk("乤.com")});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);  // not in the answer
  EXPECT_EQ(results[1].outcome, Outcome::kFound);
  EXPECT_EQ(results[1].values[0], "4");
}

TEST(ApiUrl, JoinsTheDomainsWithBars) {
  EXPECT_EQ(ApiUrl("k3y", {"a.com", "b.com"}, ""),
            "https://apistore.aizhan.com/baidurank/siteinfos/k3y?domains=a.com|b.com");
  EXPECT_EQ(ApiUrl("k", {"a.com"}, "http://127.0.0.1:9"), "http://127.0.0.1:9/baidurank/siteinfos/k?domains=a.com");
}

class ApiSourceTest : public ::testing::Test {
 protected:
  std::vector<LookupResult> Ask(const std::vector<std::string>& domains, const std::string& key = "k3y") {
    SourceSettings settings;
    settings.kind = SourceKind::kApi;
    settings.service = server_.Origin();
    settings.key = key;
    settings.timeout = seconds(timeoutSeconds_);
    return MakeSource(settings)->Lookup(domains, Exit{});
  }

  std::function<Reply(const ReceivedRequest&)> reply_;
  int timeoutSeconds_ = 20;
  LoopbackServer server_{[this](const ReceivedRequest& request) { return reply_(request); }};
};

Reply Json(int status, const std::string& body, std::vector<tools::HttpMessageHeader> headers = {}) {
  Reply reply;
  reply.status = status;
  reply.headers = std::move(headers);
  reply.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
  reply.body = body;
  return reply;
}

// The domains of a call as the service reads them from its query.
std::vector<std::string> AskedDomains(const ReceivedRequest& request) {
  const std::string target = request.PathAndQuery();
  const auto query = target.find("?domains=");
  std::vector<std::string> domains;
  if (query == std::string::npos) return domains;
  std::string list = target.substr(query + 9);
  // The bar may come percent-encoded, as a client is free to send it.
  for (std::size_t at; (at = list.find("%7C")) != std::string::npos;) list.replace(at, 3, "|");
  for (std::size_t start = 0;;) {
    const std::size_t bar = list.find('|', start);
    domains.push_back(list.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return domains;
}

TEST_F(ApiSourceTest, AsksForUpToFiftyDomainsACall) {
  EXPECT_EQ(MakeSource(SourceSettings{SourceKind::kApi, "", "k", seconds(1)})->BatchSize(), 50u);
  reply_ = [](const ReceivedRequest& request) {
    std::string success;
    for (const std::string& domain : AskedDomains(request)) {
      if (!success.empty()) success += ",";
      success += R"({"domain":")" + domain + R"(","pc_br":1,"m_br":2,"ip":3,"pc_ip":4,"m_ip":5})";
    }
    return Json(200, R"({"code":200000,"data":{"success":[)" + success + "]}}");
  };
  std::vector<std::string> domains;
  domains.reserve(120);
  for (int i = 0; i < 120; ++i) domains.push_back("d" + std::to_string(i) + ".com");
  const std::vector<LookupResult> results = Ask(domains);
  ASSERT_EQ(results.size(), 120u);
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].domain, domains[i]);
    EXPECT_EQ(results[i].outcome, Outcome::kFound);
  }
  ASSERT_EQ(server_.RequestCount(), 3u);
  const ReceivedRequest first = server_.Requests()[0];
  EXPECT_EQ(first.target.rfind("/baidurank/siteinfos/k3y?domains=d0.com", 0), 0u) << first.target;
  EXPECT_EQ(AskedDomains(first).size(), 50u);
  EXPECT_EQ(AskedDomains(server_.Requests()[2]).size(), 20u);
  EXPECT_EQ(AskedDomains(server_.Requests()[2]).back(), "d119.com");
}

TEST_F(ApiSourceTest, KeepsEachDomainApartInTheList) {
  reply_ = [](const ReceivedRequest&) {
    return Json(200, R"({"code":200000,"data":{"success":[],"failed":["a.com#x","d.com"]}})");
  };
  const std::vector<LookupResult> results = Ask({"a.com#x", "b|c.com", "", "d.com"});
  ASSERT_EQ(server_.RequestCount(), 1u);
  EXPECT_EQ(AskedDomains(server_.Requests()[0]), (std::vector<std::string>{"a.com%23x", "d.com"}));
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);
  EXPECT_EQ(results[0].reason, "接口查不到该域名");
  EXPECT_EQ(results[1].domain, "b|c.com");
  EXPECT_EQ(results[1].outcome, Outcome::kFailed);
  EXPECT_EQ(results[1].values, Values(5));
  EXPECT_EQ(results[2].outcome, Outcome::kFailed);
  EXPECT_EQ(results[3].domain, "d.com");
}

TEST_F(ApiSourceTest, RefusesEveryDomainWhenTooFrequent) {
  reply_ = [](const ReceivedRequest&) {
    return Json(200, R"({"code":100008,"msg":"too frequent"})", {{"Retry-After", "30"}});
  };
  const std::vector<LookupResult> results = Ask({"www.a.com", "www.b.com"});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].outcome, Outcome::kRefused);
  EXPECT_EQ(results[1].domain, "www.b.com");
  EXPECT_EQ(results[1].retryAfter, seconds(30));
}

TEST_F(ApiSourceTest, MakesNoCallWithoutAKeyOrDomains) {
  reply_ = [](const ReceivedRequest&) { return Json(200, "{}"); };
  const std::vector<LookupResult> results = Ask({"www.a.com"}, "");
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);
  EXPECT_EQ(results[0].reason, "没有接口密钥");
  EXPECT_EQ(results[0].reach, Reach::kRun);
  EXPECT_TRUE(Ask({}).empty());
  EXPECT_EQ(server_.RequestCount(), 0u);
}

// The answer that gives each domain `request` asks for `weight`.
Reply Found(const ReceivedRequest& request, const std::string& weight) {
  std::string success;
  for (const std::string& domain : AskedDomains(request)) {
    if (!success.empty()) success += ",";
    success.append(R"({"domain":")").append(domain).append(R"(","pc_br":")").append(weight).append(R"("})");
  }
  return Json(200, R"({"code":200000,"data":{"success":[)" + success + "]}}");
}

// The source against the project's stand-in, which answers as the service
// does: each of its codes, and the domains it could not look up.
class ApiSourceAgainstTheStandIn : public ::testing::Test {
 protected:
  std::vector<LookupResult> Ask(const std::vector<std::string>& domains, const std::string& key = "K1") {
    service_ = std::make_unique<tools::WeightServiceExits>(options_, 1);
    SourceSettings settings;
    settings.kind = SourceKind::kApi;
    settings.service = service_->Origin(0);
    settings.key = key;
    settings.timeout = seconds(20);
    return MakeSource(settings)->Lookup(domains, Exit{});
  }

  tools::WeightServiceOptions options_{.weights = {{"a.com", "6"}}, .apiKey = "K1"};
  std::unique_ptr<tools::WeightServiceExits> service_;
};

TEST_F(ApiSourceAgainstTheStandIn, ReadsTheFoundAndFailsTheFailedWithTheServicesWords) {
  options_.noData = {"b.com"};
  options_.apiFailedMessages = {{"c.com", "该域名暂无数据"}};
  const std::vector<LookupResult> results = Ask({"a.com", "b.com", "c.com"});
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].outcome, Outcome::kFound);
  EXPECT_EQ(results[0].values[0], "6");
  EXPECT_EQ(results[1].outcome, Outcome::kFailed);
  EXPECT_EQ(results[1].reason, "接口查不到该域名");
  EXPECT_EQ(results[2].outcome, Outcome::kFailed);
  EXPECT_EQ(results[2].reason, "该域名暂无数据");
  EXPECT_EQ(service_->SourceCount(tools::ServiceSource::kApi), 1);
}

TEST_F(ApiSourceAgainstTheStandIn, TakesTooFrequentAsARefusalOfTheKeyWithItsRetryAfter) {
  options_.limit = 0;
  options_.retryAfter = seconds(30);
  const std::vector<LookupResult> results = Ask({"a.com", "b.com"});
  for (const LookupResult& result : results) {
    EXPECT_EQ(result.outcome, Outcome::kRefused);
    EXPECT_EQ(result.reach, Reach::kSource);
    EXPECT_EQ(result.retryAfter, seconds(30));
    EXPECT_EQ(result.reason, "100008 请求过于频繁");
  }
}

TEST_F(ApiSourceAgainstTheStandIn, EndsTheRunOnAKeyItRejects) {
  const std::vector<LookupResult> results = Ask({"a.com", "b.com"}, "wrong");
  for (const LookupResult& result : results) {
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.reach, Reach::kRun);
    EXPECT_EQ(result.reason, "接口密钥被拒绝：100001 key错误或已过期");
  }
}

TEST_F(ApiSourceAgainstTheStandIn, FailsTheCallOnAnyOtherCodeWithItsMessage) {
  options_.apiError = tools::ApiError{tools::WeightService::kApiNoBalance, "余额不足", 1};
  const std::vector<LookupResult> first = Ask({"a.com"});
  EXPECT_EQ(first[0].outcome, Outcome::kFailed);
  EXPECT_EQ(first[0].reach, Reach::kExit);
  EXPECT_EQ(first[0].reason, "100003 余额不足");
}

const SourceTraits kApiTraits{
    .name = "api",
    .kind = SourceKind::kApi,
    .key = "k3y",
    .columns = 5,
    .found = Found,
    .askedDomains = AskedDomains,
    .withoutWeights = [] { return Json(200, "{}"); },
    .withoutWeightsOutcome = Outcome::kFailed,
    .withoutWeightsReason = "无法解析的应答",
    .plainService = "http://apistore.aizhan.com",
    .requestForA = "/baidurank/siteinfos/k3y\\?domains=www\\.a\\.com",
};

INSTANTIATE_TEST_SUITE_P(Api, SourceContract, ::testing::Values(&kApiTraits), ContractName);

}  // namespace
}  // namespace rankora::lookup
