#include "lookup/legacy_source.h"

#include <gtest/gtest.h>

#include <regex>

#include "automation/registry.h"
#include "lookup/weight_lookup.h"
#include "loopback_server.h"
#include "platform_deviations.h"
#include "source_contract.h"

namespace rankora::lookup {
namespace {

using std::chrono::seconds;
using tools::LoopbackServer;
using tools::ReceivedRequest;
using tools::Reply;

Reply Html(int status, const std::string& body, std::vector<tools::HttpMessageHeader> headers = {}) {
  Reply reply;
  reply.status = status;
  reply.headers = std::move(headers);
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  reply.body = body;
  return reply;
}

std::string WeightPage(const std::string& weight) {
  return "<div class=\"br\"><img src=\"" + ImagePrefix(Endpoints()) + weight + kImageSuffix + "\"></div>";
}

class LegacySourceTest : public ::testing::Test {
 protected:
  LookupResult Ask(const std::string& domain, int timeoutSeconds = 20) {
    SourceSettings settings;
    settings.service = server_.Origin();
    settings.timeout = seconds(timeoutSeconds);
    const std::unique_ptr<Source> source = MakeSource(settings);
    EXPECT_EQ(source->Columns(), std::vector<std::string>{"weight"});
    std::vector<LookupResult> results = source->Lookup({domain}, Exit{});
    EXPECT_EQ(results.size(), 1u);
    return results.empty() ? LookupResult{} : results[0];
  }

  std::function<Reply(const ReceivedRequest&)> reply_;
  LoopbackServer server_{[this](const ReceivedRequest& request) { return reply_(request); }};
};

TEST_F(LegacySourceTest, AsksAsTheWindowDoesAndReadsTheWeightImage) {
  reply_ = [](const ReceivedRequest&) { return Html(200, WeightPage("6")); };
  const LookupResult result = Ask("www.a.com");
  EXPECT_EQ(result.outcome, Outcome::kFound);
  EXPECT_EQ(result.domain, "www.a.com");
  EXPECT_EQ(result.values, std::vector<std::string>{"6"});
  ASSERT_EQ(server_.RequestCount(), 1u);
  const ReceivedRequest request = server_.Requests()[0];
  EXPECT_TRUE(std::regex_match(request.target, std::regex(R"(/getbrinfo\.php\?url=www\.a\.com/&_\d{13})")))
      << request.target;
  EXPECT_EQ(request.Header("Referer"), server_.Origin() + request.target);
  EXPECT_EQ(request.Header("Accept-Language"), "zh_cn");
}

TEST_F(LegacySourceTest, TakesAPageWithoutTheWeightImageAsARefusal) {
  reply_ = [](const ReceivedRequest&) { return Html(200, "<p>Too many requests</p>"); };
  const LookupResult result = Ask("www.a.com");
  EXPECT_EQ(result.outcome, Outcome::kRefused);
  EXPECT_EQ(result.reason, "无权重图片");
  EXPECT_EQ(result.values, std::vector<std::string>(1));
}

TEST_F(LegacySourceTest, HasNoWeightForAnImageWithoutANumber) {
  reply_ = [](const ReceivedRequest&) { return Html(200, WeightPage("")); };
  EXPECT_EQ(Ask("www.a.com").outcome, Outcome::kNone);
}

// The interface gone is the run's end, whatever exit asks: no refusal, and
// nothing to retry.
TEST_F(LegacySourceTest, AnInterfaceThatNoLongerAnswersIsGoneForTheWholeRun) {
  int status = 404;
  reply_ = [&status](const ReceivedRequest&) { return Html(status, "<p>no such page</p>"); };
  for (const int answered : {404, 410}) {
    SCOPED_TRACE(answered);
    status = answered;
    const LookupResult result = Ask("www.a.com");
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    EXPECT_EQ(result.why, Why::kGone);
    EXPECT_EQ(result.reach, Reach::kRun);
    EXPECT_EQ(result.reason, "HTTP " + std::to_string(answered));
    EXPECT_EQ(result.values, std::vector<std::string>{""});
  }
  // A refusal page is still the service refusing this exit.
  reply_ = [](const ReceivedRequest&) { return Html(200, "<p>Too many requests</p>"); };
  EXPECT_EQ(Ask("www.a.com").why, Why::kRefused);
}

// Where the redirects led is the request object's URL option.
TEST_F(LegacySourceTest, ARedirectToAnotherPathIsTheInterfaceGone) {
  RANKORA_SKIP_UNDER_WINE("winhttp-option");
  reply_ = [](const ReceivedRequest& request) {
    if (request.target == "/") return Html(200, "<p>home</p>");
    return Html(302, "", {{"Location", "/"}});
  };
  const LookupResult result = Ask("www.a.com");
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.why, Why::kGone);
  EXPECT_EQ(result.reach, Reach::kRun);
  EXPECT_EQ(result.reason, "重定向到 " + server_.Origin() + "/");
}

TEST_F(LegacySourceTest, AServiceOutOfReachIsTheExitsFailureNotARefusal) {
  LoopbackServer closed([](const ReceivedRequest&) { return Reply{}; });
  SourceSettings settings;
  settings.service = closed.Origin();
  closed.Stop();
  const std::vector<LookupResult> results = MakeSource(settings)->Lookup({"www.a.com"}, Exit{});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].outcome, Outcome::kFailed);
  EXPECT_EQ(results[0].why, Why::kCannotConnect);
  EXPECT_EQ(results[0].reach, Reach::kExit);
  EXPECT_EQ(results[0].reason, "连不上服务器");
}

// "/getbrinfo.php?url=<domain>/&_<time>": the one domain asked for.
std::vector<std::string> AskedDomain(const ReceivedRequest& request) {
  const std::string target = request.PathAndQuery();
  const auto start = target.find("url=");
  if (start == std::string::npos) return {};
  return {target.substr(start + 4, target.find("/&_", start) - start - 4)};
}

const SourceTraits kLegacyTraits{
    .name = "legacy",
    .kind = SourceKind::kLegacy,
    .key = "",
    .columns = 1,
    .found = [](const ReceivedRequest&, const std::string& weight) { return Html(200, WeightPage(weight)); },
    .askedDomains = AskedDomain,
    .withoutWeights = [] { return Html(200, "<p>Too many requests</p>"); },
    .withoutWeightsOutcome = Outcome::kRefused,
    .withoutWeightsReason = "无权重图片",
    .plainService = "",
    .requestForA = R"(/getbrinfo\.php\?url=www\.a\.com/&_\d{13})",
};

INSTANTIATE_TEST_SUITE_P(Legacy, SourceContract, ::testing::Values(&kLegacyTraits), ContractName);

// A component that nobody provides fails the lookup with its name and code:
// the service was never asked, so the domain has no verdict of "no weight".
TEST_F(LegacySourceTest, AMissingScriptControlFailsTheLookupWithItsName) {
  reply_ = [](const ReceivedRequest&) { return Html(200, WeightPage("6")); };
  const automation::ClassWithheld missing("ScriptControl");
  const LookupResult result = Ask("www.a.com");
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.reason, "组件 ScriptControl 无法创建（0x80040154）");
  EXPECT_EQ(result.values, std::vector<std::string>{""});
  EXPECT_EQ(server_.RequestCount(), 0u);
}

TEST_F(LegacySourceTest, AMissingRequestObjectFailsTheLookupWithItsName) {
  reply_ = [](const ReceivedRequest&) { return Html(200, WeightPage("6")); };
  const automation::ClassWithheld missing("WinHttp.WinHttpRequest.5.1", automation::kModuleNotFound);
  const LookupResult result = Ask("www.a.com");
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.reason, "组件 WinHttp.WinHttpRequest.5.1 无法创建（0x8007007E）");
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace
}  // namespace rankora::lookup
