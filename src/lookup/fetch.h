// The one road from a lookup to the service: a GET through the platform's
// request object (HttpRequest), directly or through an exit's proxy, waiting
// at most a given time, and what came back, told apart as an answer (any
// status), a time-out, or no answer at all. Sources classify the answer;
// this layer only reports it. Texts are GBK.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lookup/source.h"

namespace rankora::lookup {

struct FetchRequest {
  std::string url;
  // The window's header preset (net::HttpRequest::SetDefaultHeaders), with
  // the address itself as the Referer.
  bool presetHeaders = false;
  // The direct exit sets no proxy: the request goes the way the system sends
  // the platform's requests (on Linux, the environment's http_proxy).
  Exit exit;
  // The longest wait for the answer. The request object's own stall limits
  // (30 s without data by default) may end a transfer sooner; that counts as
  // a time-out too.
  std::chrono::seconds timeout{100};
  // Further headers, set after the preset (name, value; GBK).
  std::vector<std::pair<std::string, std::string>> headers = {};
  // A session's cookies ("name=value;" each, as HttpRequest stores them):
  // sent after `cookie`, and the answer's Set-Cookie lines merged into
  // FetchResult::cookies. Nothing: no session.
  std::optional<std::string> cookies = {};
  // A cookie of the user's own, sent as it is.
  std::string cookie = {};
};

struct FetchResult {
  int status = 0;    // the HTTP status; 0 when nothing came back
  std::string body;  // the response text, decoded by its character set
  std::optional<std::chrono::seconds> retryAfter;
  bool timedOut = false;
  bool tooManyRedirects = false;  // the redirects went round or on too long
  std::string redirectedTo = {};  // where redirects led, when they did (GBK)
  std::string cookies = {};       // the session's cookies after the answer, when a session was given
  // The request object could not be created: why, in words (UTF-8).
  std::string componentFailure = {};
  // Why nothing came back, when the request object said the service could
  // not be reached (see lookup::Unreachable); Why::kOther otherwise.
  Why why = Why::kOther;

  bool Answered() const { return status != 0; }
};

FetchResult Fetch(const FetchRequest& request);

// `url` with its "scheme://host[:port]" replaced by `service`'s (a mirror or
// a stand-in); unchanged when `service` is empty.
std::string Rebase(const std::string& url, const std::string& service);

// `text` (GBK) made safe as one piece of an address's path or query: ASCII
// characters other than letters, digits and "-._~" are percent-encoded, so
// that a domain cannot end the path, start a query or split a list; other
// characters stay as they are, for the request object to encode.
std::string UrlPiece(const std::string& text);

// A Retry-After value: delay seconds, or an HTTP date (the wait until then,
// from `now`, at least zero); nothing for anything else.
std::optional<std::chrono::seconds> ParseRetryAfter(
    const std::string& value, std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// The verdict on an answer that every source shares: kFailed for a request
// object that could not be created, a time-out, no answer, too many redirects, a 5xx or any other status outside
// 2xx, kRefused for 403 and 429, each with its reason (which says where
// redirects led, when they did); nothing when the answer is a page for
// the source to read. The result carries `domain`, the Retry-After and why:
// kRefused for a refusal, the kind of unreachable service (its words the
// reason) for a request that reached nothing.
std::optional<LookupResult> ClassifyAnswer(const FetchResult& answer, const std::string& domain);

// The answer to `url` says that the address no longer serves what it
// served: 404 or 410, or redirects that ended on another path (the home
// page, say). Then a kFailed result with Why::kGone, reaching the run (no
// exit or retry can bring the address back), with the status, or where the
// redirects led, as its reason; otherwise nothing.
std::optional<LookupResult> GoneAnswer(const FetchResult& answer, const std::string& url, const std::string& domain);

}  // namespace rankora::lookup
