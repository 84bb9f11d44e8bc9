#include "weight_service.h"

#include <algorithm>
#include <utility>

namespace rankora::tools {
namespace {

constexpr char kPagePath[] = "/cha/";
constexpr char kApiPath[] = "/baidurank/siteinfos/";
constexpr char kFillPath[] = "/pr/";
constexpr char kImages[] = "https://statics.aizhan.com/images/";

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" as its byte; a '%' without two hex digits stays as it is.
std::string PercentDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// Domains come from the request line: whatever a client sends must not make
// markup or JSON of its own.
std::string HtmlEscape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string JsonString(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      quoted += "\\u00";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xF];
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

// The weight as a number, when it is one (digits only, and not too long to
// be a weight).
std::optional<int> Number(const std::string& weight) {
  if (weight.empty() || weight.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : weight) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A JSON value for a weight: a number when it is one.
std::string JsonWeight(const std::string& weight) {
  return Number(weight) ? std::to_string(*Number(weight)) : JsonString(weight);
}

// The visits a day the service estimates for a weight, as a range.
std::pair<long, long> Visits(const std::string& weight) {
  static const long kLow[] = {0, 1, 100, 500, 2000, 5000, 10000, 50000, 200000, 1000000, 5000000};
  static const long kHigh[] = {1, 99, 499, 1999, 4999, 9999, 49999, 199999, 999999, 4999999, 99999999};
  const int index = std::min(Number(weight).value_or(0), 10);
  return {kLow[index], kHigh[index]};
}

std::string Range(std::pair<long, long> range) {
  return std::to_string(range.first) + " ~ " + std::to_string(range.second);
}

// Spreads consecutive numbers over 64 bits (SplitMix64's finaliser), so a
// seed and a sequence number give the same fraction on every platform.
double Fraction(std::uint64_t seed, std::uint64_t sequence) {
  std::uint64_t x = seed + (sequence + 1) * 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  return static_cast<double>(x >> 11) * 0x1.0p-53;
}

// The page source's domain, "/cha/<domain>/" decoded; empty when the
// request is no such page.
std::string PageDomainOf(const std::string& target) {
  if (!StartsWith(target, kPagePath)) return {};
  const std::size_t start = sizeof kPagePath - 1;
  return PercentDecode(target.substr(start, target.find_first_of("/?", start) - start));
}

// The answer of an interface that is no longer there.
Reply Moved(LegacyInterface how) {
  Reply reply;
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  if (how == LegacyInterface::kRedirectHome) {
    reply.status = 302;
    reply.reason = "Found";
    reply.headers.push_back({"Location", "/"});
    reply.body = "<html><body><a href=\"/\">/</a></body></html>\n";
  } else {
    reply.status = how == LegacyInterface::kGone ? 410 : 404;
    reply.reason = how == LegacyInterface::kGone ? "Gone" : "Not Found";
    reply.body = "no such page\n";
  }
  return reply;
}

Reply Unavailable() {
  Reply reply;
  reply.status = 503;
  reply.reason = "Service Unavailable";
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  reply.body =
      "<!DOCTYPE html>\n<html><head><title>503 Service Unavailable</title></head>"
      "<body><h1>503 Service Unavailable</h1></body></html>\n";
  return reply;
}

std::string ImageIn(const std::string& id, const std::string& href, const std::string& folder,
                    const std::string& weight) {
  const std::string value = HtmlEscape(weight);
  return "<a id=\"" + id + "\" href=\"" + href + "\" target=\"_blank\"><img src=\"" + kImages + folder + "/" + value +
         ".png\" alt=\"" + value + "\"></a>";
}

// What today's page shows beside the weights, following from the PC weight:
// the visits range in its own words (thousands apart, 万 above ten
// thousand) and a count of backlinks.
struct Visits2026 {
  std::string text;
  std::string backlinks;
};

std::string Thousands(long value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

std::string Worded(long value) {
  if (value < 100000) return Thousands(value);
  return std::to_string(value / 10000) + "." + std::to_string(value / 1000 % 10) + "万";
}

Visits2026 VisitsOf(const std::string& weight) {
  const std::pair<long, long> range = Visits(weight);
  return {Worded(range.first) + " ~ " + Worded(range.second),
          Thousands(Number(weight) ? 1234L * (*Number(weight) + 1) : 0L)};
}

// The value of `name` in a query ("a=1&b=2"), percent-decoded.
std::string Parameter(const std::string& query, const std::string& name) {
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string parameter = query.substr(start, end - start);
    if (StartsWith(parameter, name + "=")) return PercentDecode(parameter.substr(name.size() + 1));
    start = end + 1;
  }
  return {};
}

}  // namespace

WeightService::WeightService(WeightServiceOptions options) : options_(std::move(options)) {
  if (!options_.clock) options_.clock = [] { return std::chrono::steady_clock::now(); };
}

std::string WeightService::DomainOf(const std::string& pathAndQuery) {
  static const std::string kPath = "/getbrinfo.php?url=";
  if (pathAndQuery.rfind(kPath, 0) != 0) return {};
  const std::size_t end = pathAndQuery.find("/&_", kPath.size());
  if (end == std::string::npos) return {};
  return pathAndQuery.substr(kPath.size(), end - kPath.size());
}

std::string WeightService::WeightPage(const std::string& domain, const std::string& weight) {
  const std::string shownDomain = HtmlEscape(domain);
  const std::string shownWeight = HtmlEscape(weight);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + shownDomain +
         " 网站信息 - 爱站</title></head>\n"
         "<body><div class=\"header\"><a href=\"https://www.aizhan.com/\">爱站网</a></div>\n"
         "<ul class=\"brinfo\">\n"
         "<li>百度权重：<a href=\"https://baidurank.aizhan.com/baidu/" +
         shownDomain + "/\"><img src=\"http://static.aizhan.com/images/brs/" + shownWeight + ".gif\" alt=\"" +
         shownWeight +
         "\"></a></li>\n"
         "<li>移动权重：<img src=\"http://static.aizhan.com/images/mbrs/" +
         shownWeight +
         ".gif\"></li>\n"
         "<li>PR：<img src=\"http://static.aizhan.com/images/pr/0.gif\"></li>\n"
         "</ul></body></html>\n";
}

std::string WeightService::RefusalPage() {
  // No weight image, and nothing ending in the image suffix.
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>"
         "<body><p>请求过于频繁，请稍后再试</p></body></html>\n";
}

std::string WeightService::DomainPage(const std::string& domain, const EngineWeights& weights) {
  const std::string d = HtmlEscape(domain);
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n"
         "<title>" +
         d +
         "的SEO综合查询 - 爱站网</title>\n"
         "<link rel=\"stylesheet\" href=\"https://statics.aizhan.com/css/seo.css\"></head>\n"
         "<body>\n<div class=\"header\" id=\"header\"><a href=\"https://www.aizhan.com/\" id=\"logo\">"
         "<img src=\"https://statics.aizhan.com/images/logo.png\" alt=\"爱站网\"></a>\n"
         "<form id=\"search_form\" action=\"https://www.aizhan.com/cha/\"><input id=\"search_domain\" value=\"" +
         d +
         "\"><button type=\"submit\">查询</button></form></div>\n"
         "<div class=\"cha-box\" id=\"cha_box\">\n<h2 id=\"webpage_title\">" +
         d +
         " 的SEO综合查询</h2>\n<ul class=\"baidurank\">\n"
         "<li>百度权重：" +
         ImageIn("baidurank_br", "https://baidurank.aizhan.com/baidu/" + d + "/", "br", weights.pc) +
         "</li>\n<li>移动权重：" +
         ImageIn("baidurank_mbr", "https://baidurank.aizhan.com/mobile/" + d + "/", "mbr", weights.mobile) +
         "</li>\n<li>360权重：" + ImageIn("360_pr", "https://rank.aizhan.com/360/" + d + "/", "360", weights.so360) +
         "</li>\n<li>神马：" + ImageIn("sm_pr", "https://rank.aizhan.com/sm/" + d + "/", "sm", weights.shenma) +
         "</li>\n<li>搜狗：" + ImageIn("sogou_pr", "https://rank.aizhan.com/sogou/" + d + "/", "sr", weights.sogou) +
         "</li>\n<li>谷歌PR：" + ImageIn("google_pr", "https://pr.aizhan.com/" + d + "/", "pr", weights.google) +
         "</li>\n</ul>\n<ul class=\"baidurank-ip\">\n"
         "<li>预估来路：<span id=\"baidurank_ip\" class=\"red\">" +
         Range(Visits(weights.pc)) + " IP</span></li>\n<li>移动来路：<span id=\"baidurank_m_ip\">" +
         Range(Visits(weights.mobile)) +
         " IP</span></li>\n<li>出站链接：<span id=\"webpage_outlink\">35</span></li>\n</ul>\n"
         "<div id=\"alexa_rank\">Alexa：<img src=\"https://statics.aizhan.com/images/alexa/4.png\" alt=\"4\"></div>\n"
         "<div id=\"icp\"><img src=\"https://statics.aizhan.com/images/icp.png\" alt=\"备案\"> "
         "京ICP证030173号</div>\n</div>\n"
         "<div class=\"footer\" id=\"footer\"><img src=\"https://statics.aizhan.com/images/gongan.png\" alt=\"n\"> "
         "© 爱站网</div>\n</body></html>\n";
}

std::string WeightService::TodaysDomainPage(const std::string& domain, const EngineWeights& weights,
                                            const std::string& rn, const std::string& cc) {
  const std::string d = HtmlEscape(domain);
  const Visits2026 visits = VisitsOf(weights.pc);
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n"
         "<title>" +
         d +
         "的SEO综合查询 - 爱站网</title>\n"
         "<script>var isLogin = 0, rn = " +
         rn + ", cc = \"" + HtmlEscape(cc) + "\", domain = \"" + d +
         "\";</script>\n"
         "<link rel=\"stylesheet\" href=\"https://statics.aizhan.com/css/seo.css\"></head>\n"
         "<body>\n<div class=\"header\" id=\"header\"><a href=\"https://www.aizhan.com/\" id=\"logo\">"
         "<img src=\"https://statics.aizhan.com/images/logo.png\" alt=\"爱站网\"></a>\n"
         "<form id=\"search_form\" action=\"https://www.aizhan.com/cha/\"><input type=\"hidden\" name=\"t\" "
         "value=\"seo\"><input type=\"text\" id=\"search_domain\" name=\"q\" value=\"" +
         d +
         "\"><button type=\"submit\">查询</button></form></div>\n"
         "<div class=\"cha-box\" id=\"cha_box\">\n<h2 id=\"webpage_title\">" +
         d +
         " 的SEO综合查询</h2>\n<ul class=\"baidurank\">\n"
         "<li>百度权重：" +
         ImageIn("baidurank_br", "https://baidurank.aizhan.com/baidu/" + d + "/", "br", "n") + "</li>\n<li>移动权重：" +
         ImageIn("baidurank_mbr", "https://baidurank.aizhan.com/mobile/" + d + "/", "mbr", "n") +
         "</li>\n<li>360权重：" + ImageIn("360_pr", "https://rank.aizhan.com/360/" + d + "/", "360", "n") +
         "</li>\n<!-- <li>神马：" + ImageIn("sm_pr", "https://rank.aizhan.com/sm/" + d + "/", "sm", weights.shenma) +
         "</li> -->\n<li>搜狗：" + ImageIn("sogou_pr", "https://rank.aizhan.com/sogou/" + d + "/", "sr", "n") +
         "</li>\n<li>必应：" + ImageIn("bing_pr", "https://rank.aizhan.com/bing/" + d + "/", "bing", weights.bing) +
         "</li>\n<li>谷歌PR：" + ImageIn("google_pr", "https://pr.aizhan.com/" + d + "/", "pr", weights.google) +
         "</li>\n</ul>\n<ul class=\"baidurank-ip\">\n"
         "<li>百度来路：<span id=\"baidurank_ip\" class=\"red\">" +
         visits.text + "</span> IP</li>\n<li>移动来路：<span id=\"baidurank_m_ip\">" + visits.text +
         "</span> IP</li>\n<li>反链：<a id=\"backlink\" href=\"https://link.aizhan.com/" + d + "/\">" +
         visits.backlinks +
         "</a></li>\n<li>域名年龄：<span id=\"whois_created\">18年7月12日</span></li>\n</ul>\n"
         "<div id=\"icp\"><img src=\"https://statics.aizhan.com/images/icp.png\" alt=\"备案\"> "
         "京ICP证030173号</div>\n</div>\n"
         "<script>$(function () { $('#baidurank_br img').attr('alt', 'n'); });</script>\n"
         "<div class=\"footer\" id=\"footer\"><img src=\"https://statics.aizhan.com/images/gongan.png\" alt=\"n\"> "
         "© 爱站网</div>\n</body></html>\n";
}

std::string WeightService::HomePage() {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>爱站网 - 站长工具</title></head>\n"
         "<body>\n<form id=\"search_form\" action=\"https://www.aizhan.com/cha/\"><input type=\"text\" "
         "id=\"search_domain\" name=\"q\" value=\"\" placeholder=\"输入域名\"><button type=\"submit\">查询"
         "</button></form>\n</body></html>\n";
}

std::string WeightService::SecurityCheckPage() {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>安全验证 - 爱站网</title></head>\n"
         "<body>\n<div class=\"verify-box\" id=\"verify\"><h3>您的访问过于频繁，请完成安全验证后继续访问</h3>\n"
         "<form id=\"verify_form\" method=\"post\" action=\"/verify/\">"
         "<img id=\"captcha_img\" src=\"https://www.aizhan.com/captcha/\" alt=\"验证码\">"
         "<input name=\"code\" maxlength=\"4\"><button type=\"submit\">验证</button></form>\n"
         "</div>\n</body></html>\n";
}

EngineWeights WeightService::WeightsOf(const std::string& domain) const {
  if (options_.noData.count(domain) != 0) return {"n", "n", "n", "n", "n", "n", "n"};
  const auto found = options_.weights.find(domain);
  const std::string pc = found != options_.weights.end() ? found->second : options_.defaultWeight;
  const std::optional<int> number = Number(pc);
  if (!number) return {pc, pc, pc, pc, pc, pc, pc};
  const int sogou = *number > 0 ? *number - 1 : 0;
  const int shenma = *number < 10 ? *number + 1 : *number;
  const int bing = *number / 2;
  return {pc, pc, pc, std::to_string(sogou), std::to_string(shenma), "0", std::to_string(bing)};
}

WeightService::Verdict WeightService::Admit(ServiceSource source, std::size_t exit) {
  const std::lock_guard lock(mutex_);
  ++sources_[static_cast<std::size_t>(source)];
  ExitState& state = exits_[exit];
  ++state.counts.queries;
  const long before = queries_++;
  if (options_.refuseAfter >= 0 && before >= options_.refuseAfter) {
    ++state.counts.refused;
    return Verdict::kRefuse;
  }
  if (options_.limit >= 0) {
    // Only queries let through use up the limit: a client that keeps asking
    // while refused is let in again once the window has moved on.
    const auto now = options_.clock();
    auto& admitted = source == ServiceSource::kApi ? keyAdmitted_ : state.admitted;
    while (!admitted.empty() && now - admitted.front() >= options_.window) admitted.pop_front();
    if (admitted.size() >= static_cast<std::size_t>(options_.limit)) {
      ++state.counts.refused;
      return Verdict::kRefuse;
    }
    admitted.push_back(now);
  }
  if (Fraction(options_.seed, admittedSequence_++) < options_.failRate) {
    ++state.counts.failed;
    return Verdict::kFail;
  }
  ++state.counts.answered;
  return Verdict::kAnswer;
}

ExitCounts WeightService::Counts(std::size_t exit) const {
  const std::lock_guard lock(mutex_);
  const auto found = exits_.find(exit);
  return found != exits_.end() ? found->second.counts : ExitCounts{};
}

long WeightService::SourceCount(ServiceSource source) const {
  const std::lock_guard lock(mutex_);
  return sources_[static_cast<std::size_t>(source)];
}

void WeightService::AddRetryAfter(Reply& reply) const {
  if (options_.retryAfter) reply.headers.push_back({"Retry-After", std::to_string(options_.retryAfter->count())});
}

Reply WeightService::Handle(const ReceivedRequest& request, std::size_t exit) {
  const std::string target = request.PathAndQuery();
  Reply reply;
  if (const std::string domain = DomainOf(target); !domain.empty() && options_.legacy != LegacyInterface::kAnswering) {
    reply = Moved(options_.legacy);
  } else if (!domain.empty()) {
    reply = Legacy(domain, Admit(ServiceSource::kLegacy, exit));
  } else if (const std::string pageDomain = PageDomainOf(target); !pageDomain.empty()) {
    reply = Page(pageDomain, Admit(ServiceSource::kPage, exit));
  } else if (StartsWith(target, kFillPath)) {
    const std::size_t query = target.find('?');
    const std::string kind = target.substr(
        sizeof kFillPath - 1, query == std::string::npos ? std::string::npos : query - (sizeof kFillPath - 1));
    reply = Fill(kind, query == std::string::npos ? std::string() : target.substr(query + 1));
  } else if (target == "/" || target == "/index.html") {
    reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
    reply.body = HomePage();
  } else if (StartsWith(target, kApiPath)) {
    const std::string rest = target.substr(sizeof kApiPath - 1);
    const std::size_t query = rest.find('?');
    std::string domains;
    if (query != std::string::npos) {
      // The parameters, '&' apart; only "domains" matters.
      std::size_t start = query + 1;
      while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find('&', start), rest.size());
        const std::string parameter = rest.substr(start, end - start);
        if (StartsWith(parameter, "domains=")) {
          domains = PercentDecode(parameter.substr(8));
        }
        start = end + 1;
      }
    }
    reply = Api(PercentDecode(rest.substr(0, query)), domains, Admit(ServiceSource::kApi, exit));
  } else {
    reply.status = 404;
    reply.reason = "Not Found";
    reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
    reply.body = "not a weight query\n";
  }
  reply.delay = options_.delay;
  return reply;
}

Reply WeightService::Legacy(const std::string& domain, Verdict verdict) {
  if (verdict == Verdict::kFail) return Unavailable();
  Reply reply;
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  if (verdict == Verdict::kRefuse) {
    AddRetryAfter(reply);
    reply.body = RefusalPage();
    return reply;
  }
  const EngineWeights weights = WeightsOf(PercentDecode(domain));
  reply.body = WeightPage(domain, weights.pc == "n" ? "0" : weights.pc);
  return reply;
}

Reply WeightService::Fill(const std::string& kind, const std::string& query) {
  Reply reply;
  reply.headers.push_back({"Content-Type", "application/javascript; charset=utf-8"});
  const std::string callback = Parameter(query, "callback");
  const std::string domain = Parameter(query, "domain");
  const std::string rn = Parameter(query, "rn");
  const std::string cc = Parameter(query, "cc");
  const EngineWeights weights = WeightsOf(domain);
  const std::map<std::string, std::string> byKind{{"baidu", weights.pc},
                                                  {"yd", weights.mobile},
                                                  {"so", weights.so360},
                                                  {"sm", weights.shenma},
                                                  {"sogou", weights.sogou}};
  const auto weight = byKind.find(kind);
  if (callback.empty() || domain.empty() || weight == byKind.end()) {
    reply.status = 404;
    reply.reason = "Not Found";
    reply.body = "not a fill\n";
    return reply;
  }
  bool known = false;
  {
    const std::lock_guard lock(mutex_);
    const auto given = tokens_.find(domain);
    known = given != tokens_.end() && given->second.count(rn + "|" + cc) != 0;
  }
  if (!known) {
    ++badTokens_;
    reply.body = callback + "({\"code\":403,\"msg\":\"非法请求\"})";
    return reply;
  }
  ++fills_;
  reply.body = callback + "({\"pr\":" + JsonString(weight->second) + "})";
  return reply;
}

Reply WeightService::Page(const std::string& domain, Verdict verdict) {
  if (verdict == Verdict::kFail) return Unavailable();
  Reply reply;
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  if (verdict == Verdict::kAnswer) {
    if (options_.redirectHome.count(domain) != 0) {
      reply.status = 302;
      reply.reason = "Found";
      reply.headers.push_back({"Location", "/"});
      reply.body = "<html><body><a href=\"/\">/</a></body></html>\n";
      return reply;
    }
    const std::string shown = options_.otherDomainPage.count(domain) != 0 ? kOtherDomain : domain;
    if (options_.pageLayout == PageLayout::kEarlier) {
      reply.body = DomainPage(shown, WeightsOf(shown));
      return reply;
    }
    std::string rn;
    std::string cc;
    {
      const std::lock_guard lock(mutex_);
      const std::uint64_t sequence = tokenSequence_++;
      rn = std::to_string(1700000000 + sequence);
      cc = std::to_string(static_cast<std::uint64_t>(Fraction(options_.seed ^ 0xCC, sequence) * 1e15));
      tokens_[shown].insert(rn + "|" + cc);
    }
    reply.body = TodaysDomainPage(shown, WeightsOf(shown), rn, cc);
    return reply;
  }
  if (options_.retryAfter) {
    reply.status = 429;
    reply.reason = "Too Many Requests";
    AddRetryAfter(reply);
    reply.body =
        "<!DOCTYPE html>\n<html><head><title>429 Too Many Requests</title></head>"
        "<body><h1>429 Too Many Requests</h1></body></html>\n";
    return reply;
  }
  const bool captcha = options_.pageRefusal == PageRefusal::kCaptcha ||
                       (options_.pageRefusal == PageRefusal::kAlternate && pageRefusals_++ % 2 == 1);
  if (captcha) {
    reply.body = SecurityCheckPage();
    return reply;
  }
  reply.status = 403;
  reply.reason = "Forbidden";
  reply.body =
      "<!DOCTYPE html>\n<html><head><title>403 Forbidden</title></head>"
      "<body><h1>403 Forbidden</h1></body></html>\n";
  return reply;
}

Reply WeightService::Api(const std::string& key, const std::string& domains, Verdict verdict) {
  if (verdict == Verdict::kFail) return Unavailable();
  Reply reply;
  reply.headers.push_back({"Content-Type", "application/json; charset=utf-8"});
  const auto error = [&reply](long code, const std::string& message) {
    reply.body = "{\"code\":" + std::to_string(code) + ",\"status\":\"error\",\"msg\":" + JsonString(message) + "}";
  };
  if (verdict == Verdict::kRefuse) {
    AddRetryAfter(reply);
    error(kApiTooFrequent, "请求过于频繁");
    return reply;
  }
  if (key.empty() || (!options_.apiKey.empty() && key != options_.apiKey)) {
    error(kApiBadKey, "key错误或已过期");
    return reply;
  }
  if (options_.apiError) {
    const std::lock_guard lock(mutex_);
    if (options_.apiError->times < 0 || apiErrors_ < options_.apiError->times) {
      ++apiErrors_;
      error(options_.apiError->code, options_.apiError->message);
      return reply;
    }
  }
  std::vector<std::string> asked;
  for (std::size_t start = 0; start <= domains.size();) {
    const std::size_t end = std::min(domains.find('|', start), domains.size());
    if (end > start) asked.push_back(domains.substr(start, end - start));
    start = end + 1;
  }
  if (asked.empty() || asked.size() > kApiBatchLimit) {
    error(kApiBadDomains, "domains参数错误，每次1至50个域名");
    return reply;
  }
  std::string success;
  std::string failed;
  for (const std::string& domain : asked) {
    const EngineWeights weights = WeightsOf(domain);
    if (weights.pc == "n" || options_.apiFailedMessages.count(domain) != 0) {
      failed += failed.empty() ? "" : ",";
      const auto message = options_.apiFailedMessages.find(domain);
      if (message == options_.apiFailedMessages.end()) {
        failed += JsonString(domain);
      } else {
        failed += "{\"domain\":" + JsonString(domain) + ",\"msg\":" + JsonString(message->second) + "}";
      }
      continue;
    }
    const auto pc = Visits(weights.pc);
    const auto mobile = Visits(weights.mobile);
    success += (success.empty() ? "" : ",");
    success += "{\"domain\":" + JsonString(domain) + ",\"pc_br\":" + JsonWeight(weights.pc) +
               ",\"m_br\":" + JsonWeight(weights.mobile) +
               ",\"ip\":" + JsonString(Range({pc.first + mobile.first, pc.second + mobile.second})) +
               ",\"pc_ip\":" + JsonString(Range(pc)) + ",\"m_ip\":" + JsonString(Range(mobile)) + "}";
  }
  reply.body = "{\"code\":" + std::to_string(kApiSuccess) + ",\"status\":\"success\",\"data\":{\"success\":[" +
               success + "],\"failed\":[" + failed + "]}}";
  return reply;
}

WeightServiceExits::WeightServiceExits(WeightServiceOptions options, std::size_t count)
    : WeightServiceExits(std::move(options), std::vector<int>(count, 0)) {}

WeightServiceExits::WeightServiceExits(WeightServiceOptions options, const std::vector<int>& ports)
    : service_(std::make_unique<WeightService>(std::move(options))) {
  for (std::size_t exit = 0; exit < ports.size(); ++exit) {
    WeightService* service = service_.get();
    servers_.push_back(std::make_unique<LoopbackServer>(
        [service, exit](const ReceivedRequest& request) { return service->Handle(request, exit); }, ports[exit]));
  }
}

bool WeightServiceExits::Listening() const {
  return !servers_.empty() && std::all_of(servers_.begin(), servers_.end(),
                                          [](const std::unique_ptr<LoopbackServer>& s) { return s->Listening(); });
}

void WeightServiceExits::Stop() {
  for (const std::unique_ptr<LoopbackServer>& server : servers_) server->Stop();
}

}  // namespace rankora::tools
