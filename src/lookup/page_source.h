// The page source: the service's page for one domain
// ("https://www.aizhan.com/cha/<domain>/"), which shows each search engine's
// weight as an image inside an element with a fixed id. The weight is the
// image's alt text, or failing that the number its file is named by; "n"
// means no data. The markup is read tolerantly (any attribute order, any
// quoting, any case of tag names), and everything the reading knows about
// the markup is the one table below.
#pragma once

#include <string>
#include <vector>

#include "lookup/source.h"

namespace rankora::lookup {

// One weight of the page: the id of the element that holds its image, the
// value column it fills, and the folder its images live in
// (".../images/<folder>/<n>.png").
struct PageWeight {
  const char* id;
  const char* column;
  const char* imageFolder;
};

// In column order, the main weight (Baidu PC) first.
inline constexpr PageWeight kPageWeights[] = {
    {"baidurank_br", "baidu_pc", "br"}, {"baidurank_mbr", "baidu_mobile", "mbr"},
    {"360_pr", "360", "360"},           {"sogou_pr", "sogou", "sr"},
    {"sm_pr", "shenma", "sm"},          {"google_pr", "google", "pr"},
};

// "https://www.aizhan.com/cha/<domain>/", on `service` when it is given.
std::string DomainPageUrl(const std::string& domain, const std::string& service);

// What a page that came back with a 2xx status says about `domain`: kRefused
// for a page with none of the weight elements (a captcha or security check
// says so in the reason), else the weights, kNone when the main one has no
// data. `page` is GBK.
LookupResult ReadDomainPage(const std::string& page, const std::string& domain);

class PageSource : public Source {
 public:
  explicit PageSource(SourceSettings settings) : settings_(std::move(settings)) {}

  std::vector<std::string> Columns() const override;
  std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit& exit) override;

 private:
  SourceSettings settings_;
};

}  // namespace rankora::lookup
