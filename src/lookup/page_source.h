// The page source: the service's page for one domain
// ("https://www.aizhan.com/cha/<domain>/"), which shows each search engine's
// weight as an image inside an element with a fixed id. The weight is the
// image's alt text, or failing that the number its file is named by. An
// image whose alt is "n" is a placeholder the page's script fills afterwards
// from "https://rest.aizhan.com/pr/<kind>?..." with the tokens the page's
// script carries; the source fills it the same way, through the same exit,
// and never takes a placeholder for "no weight". The page must be about the
// domain asked (its query box or its title names it): any other page, and a
// redirect, is the service turning the exit away. The markup is read
// tolerantly (any attribute order, any quoting, any case of tag names),
// nothing is read from comments, and everything the reading knows about the
// markup is in the tables below.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lookup/source.h"

namespace rankora::lookup {

// One weight of the page: the id of the element that holds its image, the
// value column it fills, the folder its images live in
// (".../images/<folder>/<n>.png"), and the kind its placeholder is filled by
// (nullptr: the page never fills it, and "n" is no data).
struct PageWeight {
  const char* id;
  const char* column;
  const char* imageFolder;
  const char* fillKind;
};

// In column order, the main weights (Baidu PC, then mobile) first. Shenma's
// element ("sm_pr") sits inside a comment on today's page, so it is no
// column.
inline constexpr PageWeight kPageWeights[] = {
    {"baidurank_br", "baidu_pc", "br", "baidu"},
    {"baidurank_mbr", "baidu_mobile", "mbr", "yd"},
    {"360_pr", "360", "360", "so"},
    {"sogou_pr", "sogou", "sr", "sogou"},
    {"bing_pr", "bing", "bing", nullptr},
    {"google_pr", "google", "pr", nullptr},
};

// One of the page's optional details: the id of the element whose text holds
// it, the name it is chosen by (SourceSettings::pageFields), and how its
// text reads into columns.
struct PageDetail {
  enum class Form {
    kRange,  // "64,550 ~ 92,118", "1.2万 ~ 3亿": two columns, <field>_min and <field>_max
    kCount,  // "1,234", "5万": one column
    kText,   // "18年7月12日": one column, the text as it is
  };
  const char* id;
  const char* field;
  Form form;
};

inline constexpr PageDetail kPageDetails[] = {
    {"baidurank_ip", "traffic", PageDetail::Form::kRange},
    {"backlink", "backlinks", PageDetail::Form::kCount},
    {"whois_created", "age", PageDetail::Form::kText},
};

// Whether `field` names one of kPageDetails.
bool IsPageField(const std::string& field);

// The headers a current desktop browser sends for a page (User-Agent,
// Accept, Accept-Language); `userAgent` replaces the browser's when given.
std::vector<std::pair<std::string, std::string>> BrowserHeaders(const std::string& userAgent);

// "https://www.aizhan.com/cha/<domain>/", on `service` when it is given.
std::string DomainPageUrl(const std::string& domain, const std::string& service);

// "https://rest.aizhan.com/pr/<kind>?callback=...&domain=...&rn=...&cc=...&_=<ms>",
// on `service` when it is given.
std::string FillUrl(const std::string& kind, const std::string& domain, const std::string& rn, const std::string& cc,
                    const std::string& callback, long long milliseconds, const std::string& service);

// What a page that came back with a 2xx status says about `domain`, with
// the placeholders still to fill.
struct PageReading {
  // kRefused for a page with none of the weight elements (a captcha or
  // security check says so in the reason) and for a page about another
  // domain; else kFound when Baidu PC and mobile are both there, kNone when
  // either has no data. The values hold the weights, then the details of
  // `fields` (see DetailColumns).
  LookupResult result;
  std::vector<std::size_t> placeholders;  // kPageWeights' indexes whose images are placeholders
  std::string rn;                         // the tokens a fill sends, as the page's script holds them
  std::string cc;
};
PageReading ReadPage(const std::string& page, const std::string& domain, const std::vector<std::string>& fields = {});

// ReadPage's verdict once nothing is left to fill: a placeholder still there
// makes it kFailed, never "no weight". `page` is GBK.
LookupResult ReadDomainPage(const std::string& page, const std::string& domain,
                            const std::vector<std::string>& fields = {});

// The weight a fill's answer ("<callback>({\"pr\":\"N\"})") gives: the number,
// or "" when the service has none; nothing when the answer is no such thing.
std::optional<std::string> ReadFillAnswer(const std::string& answer, const std::string& callback);

// The columns the chosen details add, in kPageDetails' order.
std::vector<std::string> DetailColumns(const std::vector<std::string>& fields);

class PageSource : public Source {
 public:
  explicit PageSource(SourceSettings settings) : settings_(std::move(settings)) {}

  std::vector<std::string> Columns() const override;
  // Each exit keeps the cookies the service sets, for that exit's later
  // requests, in memory only.
  std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit& exit) override;

 private:
  LookupResult LookupOne(const std::string& domain, const Exit& exit);
  // Fills the placeholder of kPageWeights[weight]; the reason when it cannot.
  std::optional<std::string> Fill(PageReading& reading, std::size_t weight, const std::string& pageUrl,
                                  const Exit& exit);
  std::string Cookies(const Exit& exit);
  void KeepCookies(const Exit& exit, std::string cookies);

  SourceSettings settings_;
  std::mutex mutex_;
  std::map<std::string, std::string> sessions_;  // exit name -> its cookies
};

}  // namespace rankora::lookup
