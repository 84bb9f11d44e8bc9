#include "lookup/page_source.h"

#include <gtest/gtest.h>

#include "loopback_server.h"
#include "source_contract.h"
#include "text/gbk.h"

namespace rankora::lookup {
namespace {

using std::chrono::seconds;
using tools::LoopbackServer;
using tools::ReceivedRequest;
using tools::Reply;
using Values = std::vector<std::string>;

// The domain page as the service lays it out, in UTF-8.
std::string DomainPage(const std::string& pc = "5", const std::string& mobile = "4") {
  return R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>www.a.com 的综合查询</title>
<script>var s = '<a id="baidurank_br"><img alt="9"></a>';</script></head><body>
<ul class="rank">
  <li>百度PC：<a id="baidurank_br" target="_blank" href="/baidu/www.a.com/"><img src="//statics.aizhan.com/images/br/)" +
         pc + R"(.png" alt=")" + pc + R"("></a></li>
  <li>移动：<a id="baidurank_mbr" href="/mbaidu/www.a.com/"><img src="//statics.aizhan.com/images/mbr/)" +
         mobile + R"(.png" alt=")" + mobile + R"("></a></li>
  <li>360：<a id="360_pr"><img src="//statics.aizhan.com/images/360/3.png" alt="3"></a></li>
  <li>搜狗：<a id="sogou_pr"><img src="//statics.aizhan.com/images/sr/2.png" alt="2"></a></li>
  <li>神马：<a id="sm_pr"><img src="//statics.aizhan.com/images/sm/1.png" alt="1"></a></li>
  <li>谷歌：<a id="google_pr"><img src="//statics.aizhan.com/images/pr/n.png" alt="n"></a></li>
</ul><form><label>验证码</label><input name="captcha"></form></body></html>)";
}

LookupResult Read(const std::string& utf8Page) { return ReadDomainPage(text::Gbk(utf8Page), "www.a.com"); }

TEST(ReadDomainPage, ReadsEveryWeightOfTheServicesPage) {
  const LookupResult result = Read(DomainPage());
  EXPECT_EQ(result.outcome, Outcome::kFound);
  EXPECT_EQ(result.domain, "www.a.com");
  // The script's look-alike and the log-in form's captcha field are not the page's weights.
  EXPECT_EQ(result.values, (Values{"5", "4", "3", "2", "1", ""}));
}

TEST(ReadDomainPage, ToleratesAttributeOrderQuotesSpacesAndCase) {
  const std::string page = R"(<DIV ID = 'baidurank_br' class=x><IMG ALT = '7' SRC='/images/br/7.png'></DIV>
<span id=baidurank_mbr><img
   alt=6 src=//s.example/images/mbr/6.png/></span>
<p id="360_pr"><b><i><img class="w" src="/images/360/2.png"  alt="2" /></i></b></p>
<td   id="sogou_pr"  ><a href=#><Img Src="/images/sr/8.png"></a></td>
<a id="sm_pr"><img src="/images/sm/4.png?v=3" alt=""></a>
<img id="google_pr" alt="1" src="/images/pr/1.png">)";
  EXPECT_EQ(Read(page).values, (Values{"7", "6", "2", "8", "4", "1"}));
}

TEST(ReadDomainPage, TakesTheFileNameOnlyFromTheWeightsOwnFolder) {
  const std::string page = R"(<a id="baidurank_br"><img src="/images/mbr/3.png"></a>
<a id="baidurank_mbr"><img src="/images/mbr/3.png" alt="n"></a><a id="360_pr"><img alt="high" src="/images/360/x.png"></a>)";
  const LookupResult result = Read(page);
  EXPECT_EQ(result.values, (Values{"", "", "", "", "", ""}));
  EXPECT_EQ(result.outcome, Outcome::kNone);
}

TEST(ReadDomainPage, HasNoPcWeightForNOrAnAbsentElement) {
  const LookupResult none = Read(DomainPage("n", "2"));
  EXPECT_EQ(none.outcome, Outcome::kNone);
  EXPECT_EQ(none.values, (Values{"", "2", "3", "2", "1", ""}));
  const LookupResult absent = Read(R"(<a id="baidurank_mbr"><img alt="2"></a>)");
  EXPECT_EQ(absent.outcome, Outcome::kNone);
  EXPECT_EQ(absent.values, (Values{"", "2", "", "", "", ""}));
}

TEST(ReadDomainPage, DoesNotTakeTheNextWeightsImageForAnEmptyElement) {
  const LookupResult result = Read(R"(<a id="baidurank_br"></a><a id="baidurank_mbr"><img alt="2"></a>
<span id="360_pr"><span>none</span></span><img alt="9" src="/images/360/9.png">)");
  EXPECT_EQ(result.values, (Values{"", "2", "", "", "", ""}));
}

TEST(ReadDomainPage, RefusesAPageWithoutTheWeights) {
  const LookupResult check = Read(R"(<html><body><h1>安全验证</h1><p>请完成验证后继续访问</p></body></html>)");
  EXPECT_EQ(check.outcome, Outcome::kRefused);
  EXPECT_EQ(check.reason, "验证页面");
  EXPECT_EQ(check.values, Values(6));
  EXPECT_EQ(Read(R"(<div class="CAPTCHA-box"><img src="/captcha.php"></div>)").reason, "验证页面");
  EXPECT_EQ(Read(R"(<p>请输入验证码</p>)").reason, "验证页面");
  const LookupResult other = Read(R"(<html><body><p>页面已改版</p><img alt="3"></body></html>)");
  EXPECT_EQ(other.outcome, Outcome::kRefused);
  EXPECT_EQ(other.reason, "页面没有权重");
  EXPECT_EQ(Read("").outcome, Outcome::kRefused);
  // Markup cut short anywhere reads without running past the end.
  const std::string page = DomainPage();
  for (std::size_t cut = 0; cut < page.size(); cut += 7) Read(page.substr(0, cut));
}

TEST(DomainPageUrl, PutsTheDomainInThePath) {
  EXPECT_EQ(DomainPageUrl("www.a.com", ""), "https://www.aizhan.com/cha/www.a.com/");
  EXPECT_EQ(DomainPageUrl("www.a.com", "http://127.0.0.1:81"), "http://127.0.0.1:81/cha/www.a.com/");
}

class PageSourceTest : public ::testing::Test {
 protected:
  std::vector<LookupResult> Ask(const std::vector<std::string>& domains, const Exit& exit = {}) {
    SourceSettings settings;
    settings.kind = SourceKind::kPage;
    settings.service = server_.Origin();
    settings.timeout = seconds(timeoutSeconds_);
    return MakeSource(settings)->Lookup(domains, exit);
  }

  LookupResult AskOne(const std::string& domain) {
    std::vector<LookupResult> results = Ask({domain});
    EXPECT_EQ(results.size(), 1u);
    return results.empty() ? LookupResult{} : results[0];
  }

  // The reply for each request, by its path.
  std::function<Reply(const ReceivedRequest&)> reply_;
  int timeoutSeconds_ = 20;
  LoopbackServer server_{[this](const ReceivedRequest& request) { return reply_(request); }};
};

Reply Html(int status, const std::string& body, std::vector<tools::HttpMessageHeader> headers = {}) {
  Reply reply;
  reply.status = status;
  reply.headers = std::move(headers);
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  reply.body = body;
  return reply;
}

TEST_F(PageSourceTest, AsksForEachDomainsPageAndReadsIt) {
  reply_ = [](const ReceivedRequest& request) {
    return Html(200, request.target == "/cha/www.b.com/" ? DomainPage("n", "1") : DomainPage("6", "5"));
  };
  const std::vector<LookupResult> results = Ask({"www.a.com", "www.b.com"});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0].domain, "www.a.com");
  EXPECT_EQ(results[0].outcome, Outcome::kFound);
  EXPECT_EQ(results[0].values, (Values{"6", "5", "3", "2", "1", ""}));
  EXPECT_EQ(results[1].domain, "www.b.com");
  EXPECT_EQ(results[1].outcome, Outcome::kNone);
  ASSERT_EQ(server_.RequestCount(), 2u);
  EXPECT_EQ(server_.Requests()[0].target, "/cha/www.a.com/");
  EXPECT_EQ(server_.Requests()[0].method, "GET");
}

TEST_F(PageSourceTest, KeepsTheDomainInsideThePath) {
  reply_ = [](const ReceivedRequest&) { return Html(200, DomainPage()); };
  Ask({"a.com/../x?y#z", text::Gbk("中文.com")});
  ASSERT_EQ(server_.RequestCount(), 2u);
  EXPECT_EQ(server_.Requests()[0].target, "/cha/a.com%2F..%2Fx%3Fy%23z/");
  EXPECT_EQ(server_.Requests()[1].target, "/cha/%E4%B8%AD%E6%96%87.com/");
}

TEST_F(PageSourceTest, ReadsAPageInGbk) {
  reply_ = [](const ReceivedRequest&) {
    Reply reply;
    reply.headers.push_back({"Content-Type", "text/html; charset=gbk"});
    reply.body = text::Gbk(DomainPage("8", "7"));
    return reply;
  };
  EXPECT_EQ(AskOne("www.a.com").values[0], "8");
}

// "/cha/<domain>/": the one domain asked for.
std::vector<std::string> AskedDomain(const ReceivedRequest& request) {
  const std::string path = request.PathAndQuery();
  if (path.rfind("/cha/", 0) != 0 || path.size() < 6) return {};
  return {path.substr(5, path.size() - 6)};
}

const SourceTraits kPageTraits{
    .name = "page",
    .kind = SourceKind::kPage,
    .key = "",
    .columns = 6,
    .found = [](const ReceivedRequest&, const std::string& weight) { return Html(200, DomainPage(weight, "1")); },
    .askedDomains = AskedDomain,
    .withoutWeights = [] { return Html(200, "<p>no</p>"); },
    .withoutWeightsOutcome = Outcome::kRefused,
    .withoutWeightsReason = "页面没有权重",
    .plainService = "http://www.aizhan.com",
    .requestForA = "/cha/www\\.a\\.com/",
};

INSTANTIATE_TEST_SUITE_P(Page, SourceContract, ::testing::Values(&kPageTraits), ContractName);

}  // namespace
}  // namespace rankora::lookup
