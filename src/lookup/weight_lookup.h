// One domain's search-engine weight from the weight service: a GET of its
// information page with a millisecond time stamp, and the text between the
// weight image's address prefix and ".gif". Every failure, and a page without
// that prefix, gives the empty weight; the Try forms tell a component that
// could not be created or could not run its script from an answer without a
// weight. Each call makes and destroys its own script engines and request.
#pragma once

#include <string>

#include "lookup/endpoints.h"
#include "lookup/source.h"

namespace rankora::lookup {

// The weight of `domain` (GBK, used unchanged), or empty text.
std::string LookupWeight(const std::string& domain, const Endpoints& endpoints = Endpoints());

// A lookup or one of its steps: its text, or why a component could not give
// it (UTF-8, naming the component and the platform's code).
struct StepResult {
  std::string text;
  std::string failure;
  // For a lookup that gave no weight: why, as far as the answer tells
  // (kRefused for a page without the weight image), and that in words
  // (UTF-8), such as "找不到主机名" or "HTTP 404".
  Why why = Why::kOther;
  std::string reason;

  StepResult() = default;
  // A text that came back (a lookup's function may give just its weight).
  StepResult(std::string value) : text(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  static StepResult Failure(std::string why) {
    StepResult result;
    result.failure = std::move(why);
    return result;
  }
  static StepResult Without(Why why, std::string reason) {
    StepResult result;
    result.why = why;
    result.reason = std::move(reason);
    return result;
  }
  bool Failed() const { return !failure.empty(); }
};

StepResult TryLookupWeight(const std::string& domain, const Endpoints& endpoints = Endpoints());
StepResult TryMakeTimeStamp();
StepResult TryExtractWeight(const std::string& page, const std::string& prefix, const std::string& suffix);

// The ProgIDs a lookup creates.
inline constexpr char kScriptProgId[] = "ScriptControl";

// The steps of a lookup.
std::string MakeTimeStamp();
std::string FetchPage(const std::string& url);
// By the rules of the extraction script's Subs, also when `prefix` is absent.
std::string ExtractWeight(const std::string& page, const std::string& prefix, const std::string& suffix);

// "http://<service host>/getbrinfo.php?url=<domain>/&_<time stamp>"
std::string RequestUrl(const Endpoints& endpoints, const std::string& domain, const std::string& timeStamp);
// "http://<image host>/images/brs/"
std::string ImagePrefix(const Endpoints& endpoints);

inline constexpr char kImageSuffix[] = ".gif";
inline constexpr char kExtractionScript[] =
    "function Subs(t,s,e){var c;c=t.indexOf(s)+s.length;return(t.substr(c,t.indexOf(e,c)-c));}";

}  // namespace rankora::lookup
