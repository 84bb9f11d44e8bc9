#include "lookup/fetch.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <sstream>

#include "automation/dispatch.h"
#include "automation/winhttp_errors.h"
#include "lookup/component_failure.h"
#include "net/http_request.h"
#include "text/gbk.h"

namespace rankora::lookup {

namespace {

std::int32_t WaitSeconds(std::chrono::seconds timeout) {
  // A wait of 0 would give up at once and a negative one never: neither is
  // a limit on one answer.
  return static_cast<std::int32_t>(
      std::clamp<std::chrono::seconds::rep>(timeout.count(), 1, std::numeric_limits<std::int32_t>::max()));
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::optional<std::chrono::sys_seconds> ParseHttpDate(const std::string& value) {
  // IMF-fixdate, the only form a sender may produce: "Sun, 06 Nov 1994 08:49:37 GMT".
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::istringstream in(value);
  std::string weekday;
  std::string dayText;
  std::string monthText;
  std::string yearText;
  std::string timeText;
  std::string zone;
  if (!(in >> weekday >> dayText >> monthText >> yearText >> timeText >> zone) || zone != "GMT") return std::nullopt;
  if (weekday.size() != 4 || weekday.back() != ',') return std::nullopt;
  if (!AllDigits(dayText) || dayText.size() > 2 || !AllDigits(yearText) || yearText.size() != 4) return std::nullopt;
  const auto month = std::find(kMonths.begin(), kMonths.end(), monthText);
  if (month == kMonths.end()) return std::nullopt;
  if (timeText.size() != 8 || timeText[2] != ':' || timeText[5] != ':') return std::nullopt;
  const std::string hours = timeText.substr(0, 2);
  const std::string minutes = timeText.substr(3, 2);
  const std::string seconds = timeText.substr(6, 2);
  if (!AllDigits(hours) || !AllDigits(minutes) || !AllDigits(seconds)) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{std::stoi(yearText)},
                                         std::chrono::month{static_cast<unsigned>(month - kMonths.begin() + 1)},
                                         std::chrono::day{static_cast<unsigned>(std::stoi(dayText))}};
  if (!date.ok() || std::stoi(hours) > 23 || std::stoi(minutes) > 59 || std::stoi(seconds) > 60) return std::nullopt;
  return std::chrono::sys_days{date} + std::chrono::hours{std::stoi(hours)} + std::chrono::minutes{std::stoi(minutes)} +
         std::chrono::seconds{std::stoi(seconds)};
}

// The request object's failures that mean the service was out of reach.
Why WhyUnreachable(automation::HRESULT code) {
  namespace winhttp = automation::winhttp;
  if (code == winhttp::kNameNotResolved) return Why::kNameNotResolved;
  if (code == winhttp::kCannotConnect) return Why::kCannotConnect;
  if (code == winhttp::kTimedOut) return Why::kTimedOut;
  for (const automation::HRESULT secure :
       {winhttp::kSecureFailure, winhttp::kSecureChannelError, winhttp::kSecureCertDateInvalid,
        winhttp::kSecureCertNameInvalid, winhttp::kSecureInvalidCa, winhttp::kSecureCertRevocationFailed,
        winhttp::kSecureInvalidCert, winhttp::kSecureCertRevoked, winhttp::kSecureCertWrongUsage}) {
    if (code == secure) return Why::kSecureFailure;
  }
  return Why::kOther;
}

// The path of an address, without its query or fragment; "/" for none.
std::string PathOf(const std::string& url) {
  const auto scheme = url.find("://");
  const auto start = url.find_first_of("/?#", scheme == std::string::npos ? 0 : scheme + 3);
  if (start == std::string::npos || url[start] != '/') return "/";
  return url.substr(start, url.find_first_of("?#", start) - start);
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

FetchResult Fetch(const FetchRequest& request) {
  FetchResult result;
  net::HttpRequest http;
  if (!http.Create()) {
    result.componentFailure =
        ComponentFailure(net::kRequestProgId, ComponentStep::kCreate, automation::LastCall().code);
    return result;
  }
  http.Open("GET", request.url, true);
  if (!request.exit.proxy.empty()) http.SetProxy(2, request.exit.proxy);
  if (request.presetHeaders) http.SetDefaultHeaders(request.url);
  for (const auto& [name, value] : request.headers) http.SetRequestHeader(name, value);
  if (request.cookies) http.SetCookieStore(*request.cookies);
  {
    std::string cookie = request.cookie;
    const std::string session = request.cookies.value_or(std::string());
    if (!cookie.empty() && !session.empty()) cookie += "; ";
    cookie += session;
    if (!cookie.empty()) http.SetCookie(cookie);
  }
  if (!request.exit.user.empty()) http.SetCredentials(request.exit.user, request.exit.password, 1);
  http.Send();
  const net::HttpRequest::Answer answer = http.WaitForAnswer(WaitSeconds(request.timeout));
  // The address the request ended on, once it has ended.
  const auto redirected = [&http, &request] {
    std::string url = http.GetUrl();
    return url == request.url ? std::string() : url;
  };
  if (answer.kind != net::HttpRequest::Answer::Kind::kAnswered) {
    result.timedOut = answer.kind == net::HttpRequest::Answer::Kind::kTimedOut;
    result.why = result.timedOut ? Why::kTimedOut : WhyUnreachable(answer.code);
    result.tooManyRedirects = answer.code == automation::winhttp::kRedirectFailed;
    if (!result.timedOut) result.redirectedTo = redirected();
    if (request.cookies) result.cookies = *request.cookies;
    http.Abort();
    http.Clear();
    return result;
  }
  result.status = http.GetStatus();
  result.body = http.GetResponseText();
  result.retryAfter = ParseRetryAfter(http.GetResponseHeader("Retry-After"));
  result.redirectedTo = redirected();
  if (request.cookies) result.cookies = http.UpdateCookies();
  http.Clear();
  return result;
}

std::string Rebase(const std::string& url, const std::string& service) {
  if (service.empty()) return url;
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const auto path = url.find_first_of("/?#", scheme + 3);
  std::string origin = service;
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  return origin + (path == std::string::npos ? std::string() : url.substr(path));
}

std::string UrlPiece(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string piece;
  // By character: the second byte of a GBK character may look like '|' or
  // '[' and must not be encoded apart from its first.
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = text::CharLength(text, at);
    const auto byte = static_cast<unsigned char>(text[at]);
    if (length > 1 || byte >= 0x80 || std::isalnum(byte) != 0 || byte == '-' || byte == '.' || byte == '_' ||
        byte == '~') {
      piece.append(text, at, length);
    } else {
      piece += '%';
      piece += kHex[byte >> 4];
      piece += kHex[byte & 0x0F];
    }
    at += length;
  }
  return piece;
}

std::optional<std::chrono::seconds> ParseRetryAfter(const std::string& value,
                                                    std::chrono::system_clock::time_point now) {
  const std::string text = Trimmed(value);
  if (AllDigits(text)) {
    // More digits than any real wait holds are still a wait: the longest one.
    if (text.size() > 9) return std::chrono::seconds{999999999};
    return std::chrono::seconds{std::stol(text)};
  }
  const auto date = ParseHttpDate(text);
  if (!date) return std::nullopt;
  const auto wait = std::chrono::ceil<std::chrono::seconds>(*date - now);
  return std::max(wait, std::chrono::seconds{0});
}

std::optional<LookupResult> ClassifyAnswer(const FetchResult& answer, const std::string& domain) {
  LookupResult result;
  result.domain = domain;
  result.retryAfter = answer.retryAfter;
  if (!answer.componentFailure.empty()) {
    result.outcome = Outcome::kFailed;
    result.reason = answer.componentFailure;
  } else if (answer.timedOut) {
    result.outcome = Outcome::kFailed;
    result.why = Why::kTimedOut;
    result.reason = "超时";
  } else if (answer.tooManyRedirects) {
    result.outcome = Outcome::kFailed;
    result.reason = "重定向过多";
  } else if (!answer.Answered()) {
    result.outcome = Outcome::kFailed;
    result.why = Unreachable(answer.why) ? answer.why : Why::kOther;
    result.reason = result.why == Why::kOther ? "无应答" : UnreachableWords(result.why);
  } else if (answer.status == 403 || answer.status == 429) {
    result.outcome = Outcome::kRefused;
    result.why = Why::kRefused;
    result.reason = "HTTP " + std::to_string(answer.status);
  } else if (answer.status < 200 || answer.status > 299) {
    result.outcome = Outcome::kFailed;
    result.reason = "HTTP " + std::to_string(answer.status);
  } else {
    return std::nullopt;
  }
  if (!answer.redirectedTo.empty()) result.reason += "（重定向到 " + text::ToUtf8(answer.redirectedTo) + "）";
  return result;
}

std::optional<LookupResult> GoneAnswer(const FetchResult& answer, const std::string& url, const std::string& domain) {
  if (!answer.componentFailure.empty() || !answer.Answered()) return std::nullopt;
  const bool missing = answer.status == 404 || answer.status == 410;
  // A redirect within the same path (to https, or to another host of the
  // service) still reaches the interface.
  const bool elsewhere = !answer.redirectedTo.empty() && PathOf(answer.redirectedTo) != PathOf(url);
  if (!missing && !elsewhere) return std::nullopt;
  LookupResult result;
  result.domain = domain;
  result.outcome = Outcome::kFailed;
  result.why = Why::kGone;
  result.reach = Reach::kRun;
  result.retryAfter = answer.retryAfter;
  result.reason = missing ? "HTTP " + std::to_string(answer.status) : std::string();
  if (elsewhere) {
    if (!result.reason.empty()) result.reason += "，";
    result.reason += "重定向到 " + text::ToUtf8(answer.redirectedTo);
  }
  return result;
}

}  // namespace rankora::lookup
