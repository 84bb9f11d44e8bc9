#include "lookup/weight_lookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>

#include "automation/registry.h"
#include "environment.h"
#include "platform_deviations.h"
#include "text/gbk.h"
#include "weight_service.h"

namespace rankora::lookup {
namespace {

using tools::LoopbackServer;
using tools::WeightService;
using tools::WeightServiceOptions;

class LookupTest : public ::testing::Test {
 protected:
  explicit LookupTest(WeightServiceOptions options = {}) : service_(std::move(options)) {}

  Endpoints Local() const { return Endpoints{server_.Host(), kImageHost}; }

  WeightService service_;
  LoopbackServer server_{[this](const tools::ReceivedRequest& request) { return service_.Handle(request); }};
};

long long NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST_F(LookupTest, AsksForTheDomainWithATimeStampAndThePresetHeaders) {
  EXPECT_EQ(LookupWeight("www.baidu.com", Local()), "3");
  ASSERT_EQ(server_.RequestCount(), 1u);
  const tools::ReceivedRequest request = server_.Requests()[0];
  std::smatch match;
  ASSERT_TRUE(std::regex_match(request.target, match, std::regex(R"(/getbrinfo\.php\?url=www\.baidu\.com/&_(\d{13}))")))
      << request.target;
  EXPECT_LT(std::llabs(std::stoll(match[1]) - NowMilliseconds()), 10000);
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.Header("Referer"), "http://" + server_.Host() + request.target);
  EXPECT_EQ(request.Header("Accept"), "*/*");
  EXPECT_EQ(request.Header("Accept-Language"), "zh_cn");
  EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(LookupTest, UsesANewAddressForEveryLookup) {
  LookupWeight("www.qq.com", Local());
  // The second lookup comes in a later millisecond, as any later lookup does.
  const long long first = NowMilliseconds();
  while (NowMilliseconds() == first) {
  }
  LookupWeight("www.qq.com", Local());
  ASSERT_EQ(server_.RequestCount(), 2u);
  EXPECT_NE(server_.Requests()[0].target, server_.Requests()[1].target);
}

TEST_F(LookupTest, TakesTheDomainAsItIs) {
  EXPECT_EQ(LookupWeight(text::Gbk("中文.com"), Local()), "3");
  EXPECT_EQ(server_.Requests().back().target.substr(0, 38), "/getbrinfo.php?url=%E4%B8%AD%E6%96%87.");
}

class WeightsTest : public LookupTest {
 protected:
  WeightsTest() : LookupTest(WeightServiceOptions{{{"www.a.com", "7"}, {"www.b.com", "10"}}, "0", -1, {}}) {}
};

TEST_F(WeightsTest, GivesEachDomainItsWeight) {
  EXPECT_EQ(LookupWeight("www.a.com", Local()), "7");
  EXPECT_EQ(LookupWeight("www.b.com", Local()), "10");
  EXPECT_EQ(LookupWeight("www.c.com", Local()), "0");
}

class RefusingTest : public LookupTest {
 protected:
  RefusingTest() : LookupTest(WeightServiceOptions{{}, "3", 1, {}}) {}
};

TEST_F(RefusingTest, GivesTheEmptyWeightForARefusal) {
  EXPECT_EQ(LookupWeight("www.a.com", Local()), "3");
  EXPECT_EQ(LookupWeight("www.a.com", Local()), "");
}

TEST(Lookup, GivesTheEmptyWeightForAPageWithoutTheWeightImage) {
  const std::string busy = "<p>Too many requests, try later</p><img src=\"/static/captcha-banner.gif\">";
  LoopbackServer server([&busy](const tools::ReceivedRequest&) {
    tools::Reply reply;
    reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
    reply.body = busy;
    return reply;
  });
  EXPECT_EQ(LookupWeight("www.a.com", Endpoints{server.Host(), kImageHost}), "");
  EXPECT_EQ(server.RequestCount(), 1u);
  // The extraction alone keeps the rules of its script.
  EXPECT_EQ(ExtractWeight(busy, ImagePrefix(Endpoints()), kImageSuffix), "<img src=\"/static/captcha-banner");
}

TEST(Lookup, GivesTheEmptyWeightWhenTheServiceCannotBeReached) {
  LoopbackServer gone([](const tools::ReceivedRequest&) { return tools::Reply{}; });
  const Endpoints endpoints{gone.Host(), kImageHost};
  gone.Stop();
  EXPECT_EQ(LookupWeight("www.a.com", endpoints), "");
}

// What the window tells the user rests on why no weight came back: only a
// refusal is the service turning this address away.
TEST(TryLookupWeight, SaysWhyNoWeightCameBack) {
  LoopbackServer closed([](const tools::ReceivedRequest&) { return tools::Reply{}; });
  const Endpoints nowhere{closed.Host(), kImageHost};
  closed.Stop();
  const StepResult refused = TryLookupWeight("www.a.com", nowhere);
  EXPECT_FALSE(refused.Failed());
  EXPECT_EQ(refused.text, "");
  EXPECT_EQ(refused.why, Why::kCannotConnect);
  EXPECT_EQ(refused.reason, "连不上服务器");

  const StepResult unknown = TryLookupWeight("www.a.com", Endpoints{"nonexistent.invalid", kImageHost});
  EXPECT_EQ(unknown.text, "");
  EXPECT_EQ(unknown.why, Why::kNameNotResolved);

  WeightService refusing(WeightServiceOptions{{}, "3", 0, {}});
  LoopbackServer refusingServer(
      [&refusing](const tools::ReceivedRequest& request) { return refusing.Handle(request); });
  const StepResult limited = TryLookupWeight("www.a.com", Endpoints{refusingServer.Host(), kImageHost});
  EXPECT_EQ(limited.text, "");
  EXPECT_EQ(limited.why, Why::kRefused);
}

TEST(TryLookupWeight, TellsTheInterfaceGoneFromARefusal) {
  for (const auto& [how, reason] : {std::pair{tools::LegacyInterface::kNotFound, "HTTP 404"},
                                    std::pair{tools::LegacyInterface::kGone, "HTTP 410"}}) {
    WeightServiceOptions options;
    options.legacy = how;
    WeightService service(options);
    LoopbackServer server([&service](const tools::ReceivedRequest& request) { return service.Handle(request); });
    const StepResult gone = TryLookupWeight("www.a.com", Endpoints{server.Host(), kImageHost});
    EXPECT_FALSE(gone.Failed());
    EXPECT_EQ(gone.text, "");
    EXPECT_EQ(gone.why, Why::kGone);
    EXPECT_EQ(gone.reason, reason);
    EXPECT_EQ(LookupWeight("www.a.com", Endpoints{server.Host(), kImageHost}), "");
  }
}

// Where the redirects led is the request object's URL option.
TEST(TryLookupWeight, TakesARedirectToAnotherPathAsTheInterfaceGone) {
  RANKORA_SKIP_UNDER_WINE("winhttp-option");
  WeightServiceOptions options;
  options.legacy = tools::LegacyInterface::kRedirectHome;
  WeightService service(options);
  LoopbackServer server([&service](const tools::ReceivedRequest& request) { return service.Handle(request); });
  const StepResult gone = TryLookupWeight("www.a.com", Endpoints{server.Host(), kImageHost});
  EXPECT_EQ(gone.text, "");
  EXPECT_EQ(gone.why, Why::kGone);
  EXPECT_EQ(gone.reason, "重定向到 http://" + server.Host() + "/");
}

// The lookup sets no proxy of its own: it goes through the one the system
// gives the platform's request. On Linux that is the environment's.
TEST_F(LookupTest, ReachesTheRealHostsThroughTheEnvironmentsProxy) {
  if (testing::UsesPlatformComponents()) {
    GTEST_SKIP() << "Windows' WinHttpRequest never reads http_proxy: its proxy comes from WinHTTP's settings, "
                    "which a test cannot change without changing the machine's";
  }
  testing::SetEnv("http_proxy", server_.Origin());
  const std::string weight = LookupWeight("www.so.com");
  testing::UnsetEnv("http_proxy");
  EXPECT_EQ(weight, "3");
  ASSERT_EQ(server_.RequestCount(), 1u);
  EXPECT_EQ(server_.Requests()[0].target.rfind("http://www.aizhan.com/getbrinfo.php?url=www.so.com/&_", 0), 0u);
}

TEST(ExtractWeight, CutsByTheRulesOfTheExtractionScript) {
  const std::string prefix = ImagePrefix(Endpoints());
  EXPECT_EQ(prefix, "http://static.aizhan.com/images/brs/");
  EXPECT_EQ(ExtractWeight("<img src=\"" + prefix + "3.gif\">", prefix, ".gif"), "3");
  EXPECT_EQ(ExtractWeight(prefix + "5.gif " + prefix + "6.gif", prefix, ".gif"), "5");
  EXPECT_EQ(ExtractWeight(prefix + ".gif", prefix, ".gif"), "");
  EXPECT_EQ(ExtractWeight("", prefix, ".gif"), "");
  EXPECT_EQ(ExtractWeight(std::string(35, '-') + "no prefix.gif", prefix, ".gif"), "no prefix");
  EXPECT_EQ(ExtractWeight(WeightService::RefusalPage(), prefix, ".gif"), "");
  EXPECT_EQ(ExtractWeight(text::Gbk("<b>权重</b>") + prefix + "9.gif", prefix, ".gif"), "9");
}

TEST(RequestUrl, PutsTheDomainAndStampInThePath) {
  EXPECT_EQ(RequestUrl(Endpoints(), "www.a.com", "1700000000000"),
            "http://www.aizhan.com/getbrinfo.php?url=www.a.com/&_1700000000000");
  EXPECT_EQ(MakeTimeStamp().size(), 13u);
}

// Where nobody provides the script control, the lookup and each of its
// script steps fail with the component named; the plain forms stay empty.
TEST_F(LookupTest, AMissingScriptControlIsAFailureNamingItNotAnEmptyWeight) {
  const automation::ClassWithheld missing("ScriptControl");
  const std::string reason = "组件 ScriptControl 无法创建（0x80040154）";
  const StepResult lookup = TryLookupWeight("www.baidu.com", Local());
  EXPECT_TRUE(lookup.Failed());
  EXPECT_EQ(lookup.failure, reason);
  EXPECT_EQ(lookup.text, "");
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_EQ(TryMakeTimeStamp().failure, reason);
  EXPECT_EQ(TryExtractWeight("a<b>c", "<b>", "c").failure, reason);
  EXPECT_EQ(MakeTimeStamp(), "");
  EXPECT_EQ(LookupWeight("www.baidu.com", Local()), "");
}

TEST_F(LookupTest, TheScriptStepsSucceedWhenTheControlIsThere) {
  const StepResult lookup = TryLookupWeight("www.baidu.com", Local());
  EXPECT_FALSE(lookup.Failed());
  EXPECT_EQ(lookup.text, "3");
  const StepResult stamp = TryMakeTimeStamp();
  EXPECT_FALSE(stamp.Failed());
  EXPECT_EQ(stamp.text.size(), 13u);
  EXPECT_EQ(TryExtractWeight("x<b>7.gif", "<b>", ".gif").text, "7");
}

TEST_F(LookupTest, AMissingRequestObjectIsAFailureNamingIt) {
  const automation::ClassWithheld missing("WinHttp.WinHttpRequest.5.1");
  const StepResult lookup = TryLookupWeight("www.baidu.com", Local());
  EXPECT_EQ(lookup.failure, "组件 WinHttp.WinHttpRequest.5.1 无法创建（0x80040154）");
}

}  // namespace
}  // namespace rankora::lookup
