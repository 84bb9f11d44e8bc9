#include "weight_service.h"

namespace rankora::tools {

std::string WeightService::DomainOf(const std::string& pathAndQuery) {
  static const std::string kPath = "/getbrinfo.php?url=";
  if (pathAndQuery.rfind(kPath, 0) != 0) return {};
  const std::size_t end = pathAndQuery.find("/&_", kPath.size());
  if (end == std::string::npos) return {};
  return pathAndQuery.substr(kPath.size(), end - kPath.size());
}

std::string WeightService::WeightPage(const std::string& domain, const std::string& weight) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + domain +
         " \xE7\xBD\x91\xE7\xAB\x99\xE4\xBF\xA1\xE6\x81\xAF - \xE7\x88\xB1\xE7\xAB\x99</title></head>\n"
         "<body><div class=\"header\"><a "
         "href=\"https://www.aizhan.com/\">\xE7\x88\xB1\xE7\xAB\x99\xE7\xBD\x91</a></div>\n"
         "<ul class=\"brinfo\">\n"
         "<li>\xE7\x99\xBE\xE5\xBA\xA6\xE6\x9D\x83\xE9\x87\x8D\xEF\xBC\x9A<a "
         "href=\"https://baidurank.aizhan.com/baidu/" +
         domain + "/\"><img src=\"http://static.aizhan.com/images/brs/" + weight + ".gif\" alt=\"" + weight +
         "\"></a></li>\n"
         "<li>\xE7\xA7\xBB\xE5\x8A\xA8\xE6\x9D\x83\xE9\x87\x8D\xEF\xBC\x9A<img "
         "src=\"http://static.aizhan.com/images/mbrs/" +
         weight +
         ".gif\"></li>\n"
         "<li>PR\xEF\xBC\x9A<img src=\"http://static.aizhan.com/images/pr/0.gif\"></li>\n"
         "</ul></body></html>\n";
}

std::string WeightService::RefusalPage() {
  // No weight image, and nothing ending in the image suffix.
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head>"
         "<body><p>\xE8\xAF\xB7\xE6\xB1\x82\xE8\xBF\x87\xE4\xBA\x8E\xE9\xA2\x91\xE7\xB9\x81\xEF\xBC\x8C"
         "\xE8\xAF\xB7\xE7\xA8\x8D\xE5\x90\x8E\xE5\x86\x8D\xE8\xAF\x95</p></body></html>\n";
}

Reply WeightService::Handle(const ReceivedRequest& request) {
  Reply reply;
  reply.delay = options_.delay;
  reply.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  const std::string domain = DomainOf(request.PathAndQuery());
  if (domain.empty()) {
    reply.status = 404;
    reply.reason = "Not Found";
    reply.body = "not a weight query\n";
    return reply;
  }
  const long answered = answered_++;
  if (options_.refuseAfter >= 0 && answered >= options_.refuseAfter) {
    reply.body = RefusalPage();
    return reply;
  }
  const auto found = options_.weights.find(domain);
  reply.body = WeightPage(domain, found != options_.weights.end() ? found->second : options_.defaultWeight);
  return reply;
}

}  // namespace rankora::tools
