#include "net/http_request.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "automation/apartment.h"
#include "automation/dispatch.h"
#include "automation/reading.h"
#include "automation/winhttp_errors.h"
#include "text/gbk.h"

namespace rankora::net {

using namespace automation;

namespace {

constexpr const char* kDefaultProgId = kRequestProgId;

// WinHttpRequestOption_SecureProtocols and its SecureProtocol_TLS1_2 and
// SecureProtocol_TLS1_3 flags.
constexpr std::int32_t kSecureProtocols = 9;
constexpr std::int32_t kTls12 = 0x800;
constexpr std::int32_t kTls13 = 0x2000;

std::int32_t Truncated(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

// The text between the first `start` and the first `end` after it, as the
// extraction script computes it; empty when `start` does not occur or no
// `end` follows.
std::string BetweenFirst(const std::string& text, const std::string& start, const std::string& end) {
  const int at = text::Find(text, start);
  if (at < 0) return {};
  const int from = at + static_cast<int>(start.size());
  const int to = text::Find(text, end, from);
  if (to < 0) return {};
  return text::Mid(text, from, to - from);
}

// The cookie store's entries, "name=value;" each in the order they were first
// stored, with an index by name, for one merge: a key is only ever a whole
// entry's name, never a piece of another entry, and each line of the merge
// costs what its own length costs.
class CookieEntries {
 public:
  explicit CookieEntries(std::string_view store) {
    for (std::size_t at = 0; at < store.size();) {
      const std::string_view rest = store.substr(at);
      const int equals = text::Find(rest, "=");
      const int end = equals < 0 ? -1 : text::Find(rest, ";", equals + 1);
      if (end < 0) {
        // Not an entry: kept as it is, in its place.
        entries_.push_back({std::string(rest), {}, true});
        break;
      }
      std::string name(rest.substr(0, static_cast<std::size_t>(equals) - 1));
      index_.emplace(name, entries_.size());
      entries_.push_back(
          {std::move(name),
           std::string(rest.substr(static_cast<std::size_t>(equals), static_cast<std::size_t>(end - equals - 1))),
           false});
      at += static_cast<std::size_t>(end);
    }
  }

  // A value replaces the one stored under `name` in its place, or is added
  // at the end; the empty value removes the entry.
  void Merge(const std::string& name, std::string value) {
    const auto found = index_.find(name);
    if (value.empty()) {
      if (found == index_.end()) return;
      entries_[found->second].removed = true;
      index_.erase(found);
    } else if (found != index_.end()) {
      entries_[found->second].value = std::move(value);
    } else {
      index_.emplace(name, entries_.size());
      entries_.push_back({name, std::move(value), false});
    }
  }

  std::string Text() const {
    std::string store;
    for (const Entry& entry : entries_) {
      if (entry.raw) {
        store += entry.name;
      } else if (!entry.removed) {
        store.append(entry.name).append("=").append(entry.value).append(";");
      }
    }
    return store;
  }

 private:
  struct Entry {
    std::string name;  // the whole text for a raw entry
    std::string value;
    bool raw = false;
    bool removed = false;
  };
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace

HttpRequest::HttpRequest() { Create(); }

HttpRequest::HttpRequest(const HttpRequest& other)
    : sink_(other.sink_), cookieStore_(other.cookieStore_), request_(other.request_) {
  // Destroying the copy uninitialises once; so it initialises once.
  CoInitialize();
}

HttpRequest& HttpRequest::operator=(const HttpRequest& other) {
  if (this != &other) {
    sink_ = other.sink_;
    cookieStore_ = other.cookieStore_;
    request_ = other.request_;
  }
  return *this;
}

HttpRequest::~HttpRequest() {
  request_.Clear();
  CoUninitialize();
  // The sink's own reference goes last, as its Release; the sink itself goes
  // with this object and cuts every link to it.
  if (sink_.Filled()) ReadyStateSink::Entries().Release(sink_.Interface());
}

bool HttpRequest::Create(const std::optional<std::string>& progId) {
  CoInitialize();
  return automation::Create(request_, progId.value_or(kDefaultProgId));
}

void HttpRequest::Clear() { request_.Clear(); }

std::string HttpRequest::GetUrl() { return GetText(Option(1)); }

Object HttpRequest::GetRequest() const { return request_; }

std::int32_t HttpRequest::GetStatus() { return Truncated(ReadNumberProperty(request_, "Status")); }

std::string HttpRequest::GetStatusText() { return ReadTextProperty(request_, "StatusText"); }

std::string HttpRequest::GetResponseText() { return ReadTextProperty(request_, "ResponseText"); }

std::vector<std::uint8_t> HttpRequest::GetResponseBody() {
  Variant body = ReadProperty(request_, "ResponseBody");
  std::vector<std::uint8_t> bytes = GetBytes(body);
  body.Clear();
  return bytes;
}

Variant HttpRequest::GetResponseStream() { return ReadProperty(request_, "ResponseStream"); }

Variant HttpRequest::Option(std::int32_t index, const std::optional<std::int32_t>& integer,
                            const std::optional<std::string>& text,
                            const std::optional<std::vector<std::uint8_t>>& bytes,
                            const std::optional<Variant>& variant) {
  if (integer) {
    WriteProperty(request_, "Option", {index, *integer});
  } else if (text) {
    WriteProperty(request_, "Option", {index, *text});
  } else if (bytes) {
    WriteProperty(request_, "Option", {index, *bytes});
  } else if (variant) {
    WriteProperty(request_, "Option", {index, Arg::Ref(*variant)});
  }
  return ReadProperty(request_, "Option", {index});
}

void HttpRequest::SetProxy(const std::optional<std::int32_t>& setting, const std::string& server,
                           const std::optional<std::string>& bypass) {
  CallMethod(request_, "SetProxy", {setting.value_or(2), server, bypass.value_or("")});
}

void HttpRequest::SetCredentials(const std::string& user, const std::string& password,
                                 const std::optional<std::int32_t>& flags) {
  CallMethod(request_, "SetCredentials", {user, password, flags.value_or(0)});
}

void HttpRequest::Open(const std::optional<std::string>& method, const std::string& url,
                       const std::optional<bool>& async) {
  CallMethod(request_, "Open", {method.value_or("GET"), url, async.value_or(false)});
  if (Failed(LastCall().code) || !text::StartsWith(text::UpperAscii(url), "HTTPS:")) return;
  // Windows 7's WinHTTP speaks TLS 1.2 only when asked to. A platform that
  // knows no TLS 1.3 refuses that flag; one that knows no such option (Wine)
  // refuses both, and the request goes on with the platform's own choice.
  if (!WriteProperty(request_, "Option", {kSecureProtocols, kTls12 | kTls13})) {
    WriteProperty(request_, "Option", {kSecureProtocols, kTls12});
  }
  // The last call's state stays Open's, whatever the platform said.
  RecordLastCall(S_OK);
}

void HttpRequest::SetRequestHeader(const std::string& name, const std::string& value) {
  CallMethod(request_, "SetRequestHeader", {name, value});
}

void HttpRequest::SetDefaultHeaders(const std::string& referer) {
  SetRequestHeader("Accept", "*/*");
  SetRequestHeader("Accept-Language", "zh_cn");
  SetRequestHeader("Referer", referer);
  SetRequestHeader("Content-Type", "application/x-www-form-urlencoded");
}

void HttpRequest::SetRange(const std::string& value) { SetRequestHeader("Range", value); }

void HttpRequest::SetCookie(const std::string& value) { SetRequestHeader("Cookie", value); }

std::string HttpRequest::GetResponseHeader(const std::string& name) {
  return CallTextMethod(request_, "GetResponseHeader", {name});
}

std::string HttpRequest::GetAllResponseHeaders() { return CallTextMethod(request_, "GetAllResponseHeaders"); }

void HttpRequest::Send(const std::optional<Variant>& body) {
  // No body means no argument at all, not an empty one.
  if (body) {
    CallMethod(request_, "Send", {Arg::Ref(*body)});
  } else {
    CallMethod(request_, "Send");
  }
}

bool HttpRequest::WaitForResponse(const std::optional<std::int32_t>& seconds) {
  return CallBoolMethod(request_, "WaitForResponse", {seconds.value_or(100)});
}

HttpRequest::Answer HttpRequest::WaitForAnswer(const std::optional<std::int32_t>& seconds) {
  Answer answer;
  if (WaitForResponse(seconds)) {
    answer.kind = Answer::Kind::kAnswered;
    answer.code = S_OK;
    return answer;
  }
  const CallState& state = LastCall();
  if (Succeeded(state.code)) {
    // The wait ran out with the transfer still under way.
    answer.kind = Answer::Kind::kTimedOut;
    answer.code = winhttp::kTimedOut;
    return answer;
  }
  // A failure the object raised carries its own code and description.
  const bool raised = state.code == DISP_E_EXCEPTION && Failed(state.excep.code);
  answer.code = raised ? state.excep.code : state.code;
  answer.kind = answer.code == winhttp::kTimedOut ? Answer::Kind::kTimedOut : Answer::Kind::kFailed;
  answer.words = text::FromUtf16(state.excep.description);
  return answer;
}

void HttpRequest::Abort() { CallMethod(request_, "Abort"); }

void HttpRequest::SetTimeouts(std::int32_t resolve, std::int32_t connect, std::int32_t send, std::int32_t receive) {
  CallMethod(request_, "SetTimeouts", {resolve, connect, send, receive});
}

void HttpRequest::SetClientCertificate(const std::string& certificate) {
  CallMethod(request_, "SetClientCertificate", {certificate});
}

void HttpRequest::SetAutoLogonPolicy(std::int32_t policy) { CallMethod(request_, "SetAutoLogonPolicy", {policy}); }

std::string HttpRequest::GetResponseCookie(const std::string& name) {
  std::string value =
      BetweenFirst(ReadTextProperty(request_, "GetAllResponseHeaders"), "Set-Cookie: " + name + "=", ";");
  if (value.empty())
    value = BetweenFirst(ReadTextProperty(request_, "GetAllResponseHeaders"), "Set-Cookie:" + name + "=", ";");
  return value;
}

std::string HttpRequest::GetSetCookieLines() {
  std::string lines;
  for (const std::string& line : text::Split(ReadTextProperty(request_, "GetAllResponseHeaders"), "\r\n")) {
    if (text::StartsWith(line, "Set-Cookie:")) lines += line + "\r\n";
  }
  return lines;
}

std::string HttpRequest::UpdateCookies() {
  static constexpr std::string_view kMarker = "Set-Cookie: ";
  const std::string headers = GetAllResponseHeaders();
  const std::string_view all(headers);
  CookieEntries cookies(cookieStore_);
  // Each search goes on from the line break that ended the line before (a
  // character boundary), so the headers are read once.
  std::size_t from = 0;
  for (;;) {
    const int marker = text::Find(all.substr(from), kMarker);
    if (marker < 0) break;
    const std::size_t lineStart = from + static_cast<std::size_t>(marker) - 1 + kMarker.size();
    const int lineEnd = text::Find(all.substr(lineStart), "\r\n");
    if (lineEnd < 0) break;
    const std::string line(all.substr(lineStart, static_cast<std::size_t>(lineEnd) - 1));
    from = lineStart + static_cast<std::size_t>(lineEnd) - 1;
    const int equals = text::Find(line, "=");
    const std::string name = text::Left(line, equals - 1);
    // A line without a name (or no further line) ends the merge.
    if (name.empty()) break;
    const std::string key = name + "=";
    std::string value;
    if (text::Find(line, ";", static_cast<int>(name.size()) + 1) > 0) {
      value = TextBetween(line, key, ";");
      if (text::Find(line, "deleted; expires=") > 0) value.clear();
    } else {
      value = TextBetween(line, key, std::nullopt);
    }
    cookies.Merge(name, std::move(value));
  }
  cookieStore_ = cookies.Text();
  return cookieStore_;
}

void HttpRequest::ApplyCookies() { SetRequestHeader("Cookie", cookieStore_); }

std::int32_t HttpRequest::GetReadyState() { return Truncated(ReadNumberProperty(request_, "readyState")); }

void HttpRequest::SetReadyStateHandler(ReadyStateHandler handler) {
  net::SetReadyStateHandler(std::move(handler));
  sink_.Fill();
  WriteProperty(request_, "onreadystatechange", {sink_.AsObject()});
}

std::string HttpRequest::TextBetween(const std::string& text, const std::string& start,
                                     const std::optional<std::string>& end, std::int32_t startPosition, bool ignoreCase,
                                     std::int32_t* endPosition, std::int32_t extraBefore, std::int32_t extraAfter) {
  const int p = text::Find(text, start, startPosition, ignoreCase);
  if (p == -1) return {};
  const auto markerLength = static_cast<std::int32_t>(start.size());
  std::int32_t e = 0;
  if (end) {
    e = text::Find(text, *end, p + markerLength, ignoreCase);
    if (endPosition != nullptr) *endPosition = e;
    if (e == -1) return {};
  } else {
    // Without an end marker the cut runs to the end of the text.
    e = static_cast<std::int32_t>(text.size()) + markerLength;
    if (endPosition != nullptr) *endPosition = e;
  }
  // The sums in double precision, cut toward zero, as specified; for these
  // integers the same as integer arithmetic.
  const auto from = static_cast<std::int32_t>(std::trunc(double(p) + markerLength - extraBefore));
  const auto length = static_cast<std::int32_t>(std::trunc(double(e) - markerLength - p + extraBefore + extraAfter));
  return text::Mid(text, from, length);
}

}  // namespace rankora::net
