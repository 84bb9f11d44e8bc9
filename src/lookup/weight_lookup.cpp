#include "lookup/weight_lookup.h"

#include <vector>

#include "automation/assign.h"
#include "automation/reading.h"
#include "lookup/fetch.h"
#include "script/script_engine.h"
#include "text/gbk.h"

namespace rankora::lookup {

std::string RequestUrl(const Endpoints& endpoints, const std::string& domain, const std::string& timeStamp) {
  return "http://" + endpoints.serviceHost + "/getbrinfo.php?url=" + domain + "/&_" + timeStamp;
}

std::string ImagePrefix(const Endpoints& endpoints) { return "http://" + endpoints.imageHost + "/images/brs/"; }

std::string MakeTimeStamp() {
  script::ScriptEngine engine;
  engine.Create();
  engine.SetLanguage();
  automation::Variant stamp = engine.Eval("new Date().getTime()");
  std::string text = automation::GetText(stamp);
  stamp.Clear();
  return text;
}

std::string FetchPage(const std::string& url) {
  FetchRequest request;
  request.url = url;
  request.presetHeaders = true;
  return Fetch(request).body;
}

std::string ExtractWeight(const std::string& page, const std::string& prefix, const std::string& suffix) {
  std::vector<automation::Variant> texts(3);
  automation::Assign(texts[0], page);
  automation::Assign(texts[1], prefix);
  automation::Assign(texts[2], suffix);
  const script::ArgumentList arguments = script::ArgumentList::Of(std::move(texts));
  script::ScriptEngine engine;
  engine.SetLanguage();
  engine.ExecuteStatement(kExtractionScript);
  automation::Variant result = engine.Run("Subs", &arguments);
  std::string weight = automation::GetText(result);
  result.Clear();
  return weight;
}

std::string LookupWeight(const std::string& domain, const Endpoints& endpoints) {
  const std::string url = RequestUrl(endpoints, domain, MakeTimeStamp());
  const std::string page = FetchPage(url);
  const std::string prefix = ImagePrefix(endpoints);
  // A page without the weight image (the service refusing, busy, or asking
  // for a captcha) holds no weight, whatever the extraction would cut out.
  if (text::Find(page, prefix) < 0) return {};
  return ExtractWeight(page, prefix, kImageSuffix);
}

}  // namespace rankora::lookup
