// One HTTP exchange on libcurl, in plain C++: the request in (method, URL,
// headers, body, proxy, credentials, time-outs), the response out (status,
// headers, body) or the failure (the platform's code and curl's words).
// It honours the standard proxy variables (http_proxy, https_proxy,
// no_proxy) as curl does unless told otherwise, follows redirects (a POST
// answered by 301, 302 or 303 as a GET without its body), ends a transfer
// whose body passes kMostResponseBytes as a failure, and ends one that moves
// nothing for the longer of its send and receive time-outs as timed out.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rankora::components::http {

struct Header {
  std::string name;
  std::string value;
};

// Everything a transfer needs, copied when it starts.
struct RequestSettings {
  std::string method;
  std::string url;
  std::vector<Header> headers;
  std::optional<std::string> body;
  std::string userAgent;
  bool followRedirects = true;
  long maxRedirects = 10;
  std::int32_t resolveTimeout = 0;
  std::int32_t connectTimeout = 60000;
  std::int32_t sendTimeout = 30000;
  std::int32_t receiveTimeout = 30000;
  // The TLS versions a secure transfer may use, both ends included, as the
  // minor numbers of TLS 1.x: TLS 1.2 and 1.3 unless told otherwise.
  int tlsLowest = 2;
  int tlsHighest = 3;
  std::int32_t proxySetting = 0;  // 0 preconfigured (the environment), 1 direct, 2 the given proxy
  std::string proxy;
  std::string proxyBypass;
  std::optional<std::pair<std::string, std::string>> serverCredentials;
  std::optional<std::pair<std::string, std::string>> proxyCredentials;
};

struct Response {
  // 0 once the exchange is complete, whatever its status; else the platform's
  // failure code (automation/winhttp_errors.h) and curl's words for it.
  std::int32_t code = 0;
  std::string words;
  long status = 0;
  std::string statusText;
  std::vector<Header> headers;
  std::string body;
  std::string redirectedUrl;  // the last location followed; empty when none was
};

// libcurl's process-wide set-up, done once before the first handle. Call it
// on a long-lived thread: curl's TLS library keeps state for the thread that
// sets it up, for the life of the process.
void EnsureCurl();

// Runs one exchange to its end. Setting `abort` from another thread ends it
// as cancelled.
Response Transfer(const RequestSettings& settings, std::atomic<bool>& abort);

}  // namespace rankora::components::http
