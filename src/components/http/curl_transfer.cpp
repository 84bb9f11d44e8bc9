#include "components/http/curl_transfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "automation/hresult.h"
#include "automation/winhttp_errors.h"
#include "components/http/winhttp_request.h"
#include "text/ascii.h"

namespace rankora::components::http {

using namespace automation;
using namespace automation::winhttp;

void EnsureCurl() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)ready;
}

namespace {

// One curl easy handle, owned.
class CurlHandle {
 public:
  CurlHandle() : handle_(curl_easy_init()) {}
  ~CurlHandle() {
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
  }
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;
  CurlHandle(CurlHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  CurlHandle& operator=(CurlHandle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  CURL* get() const { return handle_; }

 private:
  CURL* handle_;
};

// One curl header list, owned.
class CurlHeaders {
 public:
  CurlHeaders() = default;
  ~CurlHeaders() { curl_slist_free_all(list_); }
  CurlHeaders(const CurlHeaders&) = delete;
  CurlHeaders& operator=(const CurlHeaders&) = delete;
  void Add(const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list_, line.c_str())) list_ = grown;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// CURLOPT_SSLVERSION's value for TLS 1.`lowest` to 1.`highest`.
long TlsVersions(int lowest, int highest) {
  static constexpr long kLowest[] = {CURL_SSLVERSION_TLSv1_0, CURL_SSLVERSION_TLSv1_1, CURL_SSLVERSION_TLSv1_2,
                                     CURL_SSLVERSION_TLSv1_3};
  static constexpr long kHighest[] = {CURL_SSLVERSION_MAX_TLSv1_0, CURL_SSLVERSION_MAX_TLSv1_1,
                                      CURL_SSLVERSION_MAX_TLSv1_2, CURL_SSLVERSION_MAX_TLSv1_3};
  lowest = std::clamp(lowest, 0, 3);
  highest = std::clamp(highest, lowest, 3);
  return kLowest[lowest] | kHighest[highest];
}

// All of the request's failure codes come from libcurl's through here.
HRESULT CodeOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return S_OK;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kUnrecognizedScheme;
    case CURLE_URL_MALFORMAT:
      return kInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return kTimedOut;
    case CURLE_TOO_MANY_REDIRECTS:
      return kRedirectFailed;
    case CURLE_ABORTED_BY_CALLBACK:
      return kCancelled;
    case CURLE_WRITE_ERROR:
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FILESIZE_EXCEEDED:
      return E_OUTOFMEMORY;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return kSecureFailure;
    default:
      return kConnectionError;
  }
}

struct TransferState {
  Response response;
  std::atomic<bool>* abort;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  const std::size_t bytes = size * count;
  std::string& body = state->response.body;
  // Past the limit the transfer fails instead of filling memory.
  if (body.size() + bytes > kMostResponseBytes) return 0;
  try {
    body.append(data, bytes);
  } catch (...) {
    return 0;
  }
  return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  const std::size_t bytes = size * count;
  try {
    std::string_view line(data, bytes);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      // A new response (after a redirect or a 100 Continue): its headers only.
      Response& response = state->response;
      response.headers.clear();
      const std::size_t code = line.find(' ');
      const std::size_t text = code == std::string_view::npos ? code : line.find(' ', code + 1);
      response.statusText = text == std::string_view::npos ? "" : std::string(line.substr(text + 1));
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos && colon > 0) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
      state->response.headers.push_back({std::string(line.substr(0, colon)), std::string(value)});
    }
  } catch (...) {
    return 0;
  }
  return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<TransferState*>(user)->abort->load() ? 1 : 0;
}

std::string NoProxyList(const std::string& bypass) {
  std::string list;
  std::size_t start = 0;
  while (start <= bypass.size()) {
    std::size_t end = bypass.find_first_of(";, ", start);
    if (end == std::string::npos) end = bypass.size();
    std::string entry = bypass.substr(start, end - start);
    if (entry == "<local>") entry = "localhost,127.0.0.1,::1";
    if (!entry.empty()) list += (list.empty() ? "" : ",") + entry;
    start = end + 1;
  }
  return list;
}

}  // namespace

Response Transfer(const RequestSettings& settings, std::atomic<bool>& abort) {
  TransferState state{{}, &abort};
  // curl may write its words here until the handle is gone.
  char words[CURL_ERROR_SIZE] = {};
  CurlHandle handle;
  CURL* curl = handle.get();
  if (curl == nullptr) {
    state.response.code = E_OUTOFMEMORY;
    state.response.words = curl_easy_strerror(CURLE_OUT_OF_MEMORY);
    return state.response;
  }
  CurlHeaders headers;
  bool hasContentType = false;
  for (const Header& header : settings.headers) {
    // "Name:" with nothing after it would drop the header; "Name;" sends it empty.
    headers.Add(header.value.empty() ? header.name + ";" : header.name + ": " + header.value);
    hasContentType = hasContentType || text::EqualsIgnoreAsciiCase(header.name, "Content-Type", text::ByteText::Raw);
  }
  // A POST or PUT carries a body, if only an empty one ("Content-Length: 0").
  const bool sendsBody = settings.body.has_value() || settings.method == "POST" || settings.method == "PUT";
  // curl adds these unasked; the platform's request sends only what it is told.
  headers.Add("Expect:");
  if (settings.body && !hasContentType) headers.Add("Content-Type: text/plain; Charset=UTF-8");
  if (sendsBody && !settings.body) headers.Add("Content-Type:");  // not curl's form type

  curl_easy_setopt(curl, CURLOPT_URL, settings.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, settings.userAgent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, settings.followRedirects ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, settings.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMostResponseBytes));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);
  const long connect = (settings.resolveTimeout > 0 ? settings.resolveTimeout : 0) +
                       (settings.connectTimeout > 0 ? settings.connectTimeout : 0);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect);
  curl_easy_setopt(curl, CURLOPT_SSLVERSION, TlsVersions(settings.tlsLowest, settings.tlsHighest));
  // curl has no per-phase limits: a transfer that moves nothing for the
  // longer of the send and receive time-outs ends as timed out.
  const long stall = std::max(settings.sendTimeout, settings.receiveTimeout);
  if (stall > 0) {
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, stall / 1000));
  }

  if (settings.method == "GET" && !settings.body) {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else if (settings.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (settings.method == "POST") {
    // A plain POST, not a custom method: answered by 301, 302 or 303 it is
    // followed as a GET without its body, as the platform does.
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, settings.method.c_str());
  }
  if (sendsBody && settings.method != "HEAD") {
    // Never null: curl would read a null body from its read callback.
    const char* body = settings.body ? settings.body->data() : "";
    const std::size_t size = settings.body ? settings.body->size() : 0;
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body);
  }

  if (settings.proxySetting == 1) {
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
  } else if (settings.proxySetting == 2) {
    curl_easy_setopt(curl, CURLOPT_PROXY, settings.proxy.c_str());
    const std::string bypass = NoProxyList(settings.proxyBypass);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, bypass.c_str());
  }
  if (settings.serverCredentials) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, settings.serverCredentials->first.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.serverCredentials->second.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
  }
  if (settings.proxyCredentials) {
    curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, settings.proxyCredentials->first.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, settings.proxyCredentials->second.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
  }

  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, words);
  const CURLcode result = curl_easy_perform(curl);
  state.response.code = CodeOf(result);
  if (result != CURLE_OK) state.response.words = words[0] != '\0' ? words : curl_easy_strerror(result);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &state.response.status);
  long redirects = 0;
  const char* finalUrl = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects) == CURLE_OK && redirects > 0 &&
      curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &finalUrl) == CURLE_OK && finalUrl != nullptr) {
    state.response.redirectedUrl = finalUrl;
  }
  return std::move(state.response);
}

}  // namespace rankora::components::http
