#include "lookup/weight_lookup.h"

#include <optional>
#include <vector>

#include "automation/assign.h"
#include "automation/reading.h"
#include "lookup/component_failure.h"
#include "lookup/fetch.h"
#include "script/script_engine.h"
#include "text/gbk.h"

namespace rankora::lookup {

std::string RequestUrl(const Endpoints& endpoints, const std::string& domain, const std::string& timeStamp) {
  return "http://" + endpoints.serviceHost + "/getbrinfo.php?url=" + domain + "/&_" + timeStamp;
}

std::string ImagePrefix(const Endpoints& endpoints) { return "http://" + endpoints.imageHost + "/images/brs/"; }

StepResult TryMakeTimeStamp() {
  script::ScriptEngine engine;
  if (!engine.Create()) {
    return StepResult::Failure(ComponentFailure(kScriptProgId, ComponentStep::kCreate, automation::LastCall().code));
  }
  engine.SetLanguage();
  automation::Variant stamp = engine.Eval("new Date().getTime()");
  const automation::HRESULT code = automation::LastCall().code;
  if (automation::Failed(code)) return StepResult::Failure(ComponentFailure(kScriptProgId, ComponentStep::kRun, code));
  std::string text = automation::GetText(stamp);
  stamp.Clear();
  return text;
}

std::string MakeTimeStamp() { return TryMakeTimeStamp().text; }

std::string FetchPage(const std::string& url) {
  FetchRequest request;
  request.url = url;
  request.presetHeaders = true;
  return Fetch(request).body;
}

StepResult TryExtractWeight(const std::string& page, const std::string& prefix, const std::string& suffix) {
  std::vector<automation::Variant> texts(3);
  automation::Assign(texts[0], page);
  automation::Assign(texts[1], prefix);
  automation::Assign(texts[2], suffix);
  const script::ArgumentList arguments = script::ArgumentList::Of(std::move(texts));
  script::ScriptEngine engine;
  if (engine.GetControl().IsEmpty()) {
    return StepResult::Failure(ComponentFailure(kScriptProgId, ComponentStep::kCreate, automation::LastCall().code));
  }
  engine.SetLanguage();
  engine.ExecuteStatement(kExtractionScript);
  automation::HRESULT code = automation::LastCall().code;
  automation::Variant result;
  if (automation::Succeeded(code)) {
    result = engine.Run("Subs", &arguments);
    code = automation::LastCall().code;
  }
  if (automation::Failed(code)) return StepResult::Failure(ComponentFailure(kScriptProgId, ComponentStep::kRun, code));
  std::string weight = automation::GetText(result);
  result.Clear();
  return weight;
}

std::string ExtractWeight(const std::string& page, const std::string& prefix, const std::string& suffix) {
  return TryExtractWeight(page, prefix, suffix).text;
}

StepResult TryLookupWeight(const std::string& domain, const Endpoints& endpoints) {
  StepResult stamp = TryMakeTimeStamp();
  if (stamp.Failed()) return stamp;
  FetchRequest request;
  request.url = RequestUrl(endpoints, domain, stamp.text);
  request.presetHeaders = true;
  const FetchResult answer = Fetch(request);
  if (!answer.componentFailure.empty()) return StepResult::Failure(answer.componentFailure);
  // An address that no longer serves the page, and a service out of reach,
  // are no refusal: changing the address would not help.
  std::optional<LookupResult> verdict = GoneAnswer(answer, request.url, domain);
  if (!verdict && !answer.Answered()) verdict = ClassifyAnswer(answer, domain);
  if (verdict) return StepResult::Without(verdict->why, std::move(verdict->reason));
  const std::string prefix = ImagePrefix(endpoints);
  // A page without the weight image (the service refusing, busy, or asking
  // for a captcha) holds no weight, whatever the extraction would cut out.
  if (text::Find(answer.body, prefix) < 0) return StepResult::Without(Why::kRefused, "无权重图片");
  return TryExtractWeight(answer.body, prefix, kImageSuffix);
}

std::string LookupWeight(const std::string& domain, const Endpoints& endpoints) {
  return TryLookupWeight(domain, endpoints).text;
}

}  // namespace rankora::lookup
