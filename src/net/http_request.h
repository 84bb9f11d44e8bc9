// HttpRequest: the platform's HTTP request object (ProgID
// "WinHttp.WinHttpRequest.5.1") as typed operations, with a header preset
// for form requests, a cookie store carried from response to request, and a
// ready-state sink. Every access is by name; a failure gives the empty value
// of its kind and shows nothing. Texts are GBK.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "automation/hresult.h"
#include "automation/object.h"
#include "automation/variant.h"
#include "net/ready_state_sink.h"

namespace rankora::net {

// The request object's ProgID, which Create uses when given none.
inline constexpr char kRequestProgId[] = "WinHttp.WinHttpRequest.5.1";

// Operations stand in the order of the object's table.
class HttpRequest {
 public:
  // What became of the request sent, for our own layers: answered (with any
  // status), out of time, or failed.
  struct Answer {
    enum class Kind { kAnswered, kTimedOut, kFailed };
    Kind kind = Kind::kFailed;
    // Timed out: automation::winhttp::kTimedOut. Failed: the request
    // object's failure code (never a success). Answered: S_OK.
    automation::HRESULT code = 0;
    // The request object's description of its failure, GBK; empty when it
    // gave none or the wait ran out.
    std::string words;
  };

  HttpRequest();
  // A copy shares the automation object and carries its own cookie store.
  HttpRequest(const HttpRequest& other);
  HttpRequest& operator=(const HttpRequest& other);
  ~HttpRequest();

  bool Create(const std::optional<std::string>& progId = std::nullopt);
  void Clear();
  std::string GetUrl();
  automation::Object GetRequest() const;
  std::int32_t GetStatus();
  std::string GetStatusText();
  std::string GetResponseText();
  std::vector<std::uint8_t> GetResponseBody();
  automation::Variant GetResponseStream();
  // Writes the first given value (integer, text, bytes, variant), then reads.
  automation::Variant Option(std::int32_t index, const std::optional<std::int32_t>& integer = std::nullopt,
                             const std::optional<std::string>& text = std::nullopt,
                             const std::optional<std::vector<std::uint8_t>>& bytes = std::nullopt,
                             const std::optional<automation::Variant>& variant = std::nullopt);
  void SetProxy(const std::optional<std::int32_t>& setting, const std::string& server,
                const std::optional<std::string>& bypass = std::nullopt);
  void SetCredentials(const std::string& user, const std::string& password,
                      const std::optional<std::int32_t>& flags = std::nullopt);
  // For an https URL, then asks for TLS 1.2 and 1.3 (1.2 alone where the
  // platform knows no 1.3), or keeps the platform's choice where it refuses.
  void Open(const std::optional<std::string>& method, const std::string& url,
            const std::optional<bool>& async = std::nullopt);
  void SetRequestHeader(const std::string& name, const std::string& value);
  // Accept */*, Accept-Language zh_cn, Referer, Content-Type for forms.
  void SetDefaultHeaders(const std::string& referer);
  void SetRange(const std::string& value);
  void SetCookie(const std::string& value);
  std::string GetResponseHeader(const std::string& name);
  std::string GetAllResponseHeaders();
  void Send(const std::optional<automation::Variant>& body = std::nullopt);
  // Up to 100 seconds when not given.
  bool WaitForResponse(const std::optional<std::int32_t>& seconds = std::nullopt);
  // WaitForResponse (the last call's state is the same), as one answer: a
  // wait that ran out and a transfer that stalled past the request's own
  // time-outs are both timed out.
  Answer WaitForAnswer(const std::optional<std::int32_t>& seconds = std::nullopt);
  void Abort();
  void SetTimeouts(std::int32_t resolve, std::int32_t connect, std::int32_t send, std::int32_t receive);
  void SetClientCertificate(const std::string& certificate);
  void SetAutoLogonPolicy(std::int32_t policy);
  // The cookie operations.
  std::string GetResponseCookie(const std::string& name);
  std::string GetSetCookieLines();
  std::string UpdateCookies();
  void ApplyCookies();
  std::int32_t GetReadyState();
  void SetReadyStateHandler(ReadyStateHandler handler);
  // The bytes between the first `start` marker at or after `startPosition`
  // and the next `end` marker (1-based byte positions); see the .cpp.
  std::string TextBetween(const std::string& text, const std::string& start,
                          const std::optional<std::string>& end = std::nullopt, std::int32_t startPosition = 0,
                          bool ignoreCase = false, std::int32_t* endPosition = nullptr, std::int32_t extraBefore = 0,
                          std::int32_t extraAfter = 0);

  const std::string& CookieStore() const { return cookieStore_; }
  // Starts from a store kept elsewhere (a session's, between requests made
  // with request objects of their own).
  void SetCookieStore(std::string store) { cookieStore_ = std::move(store); }
  const ReadyStateSink& Sink() const { return sink_; }

 private:
  ReadyStateSink sink_;
  std::string cookieStore_;
  automation::Object request_;
};

}  // namespace rankora::net
