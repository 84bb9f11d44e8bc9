#include "components/http/winhttp_request.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "automation/component.h"
#include "automation/convert.h"
#include "automation/registry.h"
#include "automation/winhttp_errors.h"
#include "components/http/curl_transfer.h"
#include "components/http/transfer_pool.h"
#include "text/ascii.h"
#include "text/charset.h"
#include "text/gbk.h"

namespace rankora::components {
namespace {

using namespace automation;
using namespace automation::winhttp;
using namespace http;

// The platform's error codes for a request, besides WinHTTP's own.
constexpr HRESULT kPending = MakeCode(0x8000000A);
constexpr char16_t kSource[] = u"WinHttp.WinHttpRequest";

constexpr char kDefaultUserAgent[] = "Mozilla/4.0 (compatible; Rankora/0.1; WinHttpRequest)";

// The SecureProtocols option's flags: SSL 2 and 3, then TLS 1.0 to 1.3.
constexpr std::uint32_t kSslFlags = 0x8 | 0x20;
constexpr std::uint32_t kTlsFlags[] = {0x80, 0x200, 0x800, 0x2000};

// The TLS versions a SecureProtocols value allows, as the minor numbers of
// TLS 1.x; none where the transfer cannot keep to it: no TLS version, a gap
// between two (curl takes a range and would let the one between in), or a
// flag the platform does not know. SSL 2 and 3, which curl no longer speaks,
// drop out beside a TLS version, as on a system that has them switched off.
std::optional<std::pair<int, int>> TlsRange(std::uint32_t flags) {
  std::uint32_t known = kSslFlags;
  for (const std::uint32_t flag : kTlsFlags) known |= flag;
  if ((flags & ~known) != 0) return std::nullopt;
  int lowest = -1;
  int highest = -1;
  for (int version = 0; version < 4; ++version) {
    if ((flags & kTlsFlags[version]) == 0) continue;
    if (highest >= 0 && highest != version - 1) return std::nullopt;
    if (lowest < 0) lowest = version;
    highest = version;
  }
  if (lowest < 0) return std::nullopt;
  return std::make_pair(lowest, highest);
}

// A URL as curl takes it: the text in the URL code page, and what may not
// stand in a URL (spaces, controls, bytes above 0x7F) percent-escaped.
std::string UrlBytes(std::u16string_view url, std::int32_t codePage) {
  const std::string bytes = codePage == 936 ? text::FromUtf16(url) : text::EncodeUtf8(url);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr) {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// The character set a response names: in its Content-Type, else in a meta
// tag near the start of the page.
std::string CharsetOf(const Response& response) {
  auto after = [](std::string_view text, std::string_view key) -> std::string {
    // Raw bytes: the response may be UTF-8, which a GBK walk would misread.
    const std::string lower = text::AsciiLowerCopy(text, text::ByteText::Raw);
    const std::size_t at = lower.find(key);
    if (at == std::string::npos) return {};
    std::size_t start = at + key.size();
    while (start < text.size() && (text[start] == '"' || text[start] == '\'' || text[start] == ' ')) ++start;
    std::size_t end = start;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) != 0 || text[end] == '-' ||
                                 text[end] == '_' || text[end] == ':' || text[end] == '.')) {
      ++end;
    }
    return std::string(text.substr(start, end - start));
  };
  for (const Header& header : response.headers) {
    if (text::EqualsIgnoreAsciiCase(header.name, "Content-Type", text::ByteText::Raw)) {
      std::string charset = after(header.value, "charset=");
      if (!charset.empty()) return charset;
    }
  }
  const std::string_view head = std::string_view(response.body).substr(0, 4096);
  return after(head, "charset=");
}

// The response body as a stream object: Read(count) gives the next bytes.
class ResponseStream final : public Component {
 public:
  explicit ResponseStream(std::string bytes) : bytes_(std::move(bytes)) {}

  const TypeInfo* GetTypeInfo() const override {
    static const TypeInfo info({
        {"Read", 1, false, InvokeKind::Method, VT_VARIANT, {ParamDesc{VT_I4, false, false}}, false},
        {"Size", 2, false, InvokeKind::PropertyGet, VT_I4, {}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind, CallArgs& args, Variant& result, ExcepInfo&) override {
    if (id == 2) {
      result = Variant::I4(static_cast<std::int32_t>(bytes_.size()));
      return S_OK;
    }
    const auto wanted = static_cast<std::size_t>(std::max<std::int64_t>(0, args[0].Signed()));
    const std::size_t count = std::min(wanted, bytes_.size() - position_);
    const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes_.data() + position_);
    result = Variant::Array(SafeArray::Bytes({begin, count}));
    position_ += count;
    return S_OK;
  }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

class WinHttpRequest final : public Component {
 public:
  enum Member : DispId {
    kOpen = 1,
    kSetRequestHeader = 2,
    kGetResponseHeader = 3,
    kGetAllResponseHeaders = 4,
    kSend = 5,
    kOption = 6,
    kStatus = 7,
    kStatusText = 8,
    kResponseText = 9,
    kResponseBody = 10,
    kResponseStream = 11,
    kAbort = 12,
    kSetProxy = 13,
    kSetCredentials = 14,
    kWaitForResponse = 15,
    kSetTimeouts = 16,
    kSetClientCertificate = 17,
    kSetAutoLogonPolicy = 18,
  };

  // libcurl is set up on the thread that makes the first request object, not
  // on a transfer thread: its TLS library keeps state for the thread that
  // sets it up, for the life of the process.
  WinHttpRequest() { EnsureCurl(); }
  ~WinHttpRequest() override { Stop(); }

  const TypeInfo* GetTypeInfo() const override {
    const ParamDesc text{VT_BSTR, false, false};
    const ParamDesc number{VT_I4, false, false};
    const ParamDesc optional{VT_VARIANT, true, false};
    static const TypeInfo info({
        {"SetProxy", kSetProxy, false, InvokeKind::Method, VT_EMPTY, {number, optional, optional}, false},
        {"SetCredentials", kSetCredentials, false, InvokeKind::Method, VT_EMPTY, {text, text, number}, false},
        {"Open", kOpen, false, InvokeKind::Method, VT_EMPTY, {text, text, optional}, false},
        {"SetRequestHeader", kSetRequestHeader, false, InvokeKind::Method, VT_EMPTY, {text, text}, false},
        {"GetResponseHeader", kGetResponseHeader, false, InvokeKind::Method, VT_BSTR, {text}, false},
        {"GetAllResponseHeaders", kGetAllResponseHeaders, false, InvokeKind::Method, VT_BSTR, {}, false},
        {"Send", kSend, false, InvokeKind::Method, VT_EMPTY, {optional}, false},
        {"Option", kOption, false, InvokeKind::PropertyGet, VT_VARIANT, {number}, false},
        {"Option", kOption, false, InvokeKind::PropertyPut, VT_EMPTY, {number, ParamDesc{}}, false},
        {"Status", kStatus, false, InvokeKind::PropertyGet, VT_I4, {}, false},
        {"StatusText", kStatusText, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"ResponseText", kResponseText, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
        {"ResponseBody", kResponseBody, false, InvokeKind::PropertyGet, VT_VARIANT, {}, false},
        {"ResponseStream", kResponseStream, false, InvokeKind::PropertyGet, VT_VARIANT, {}, false},
        {"WaitForResponse", kWaitForResponse, false, InvokeKind::Method, VT_BOOL, {optional}, false},
        {"Abort", kAbort, false, InvokeKind::Method, VT_EMPTY, {}, false},
        {"SetTimeouts", kSetTimeouts, false, InvokeKind::Method, VT_EMPTY, {number, number, number, number}, false},
        {"SetClientCertificate", kSetClientCertificate, false, InvokeKind::Method, VT_EMPTY, {text}, false},
        {"SetAutoLogonPolicy", kSetAutoLogonPolicy, false, InvokeKind::Method, VT_EMPTY, {number}, false},
    });
    return &info;
  }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    switch (id) {
      case kOpen:
        return Open(args, excep);
      case kSetRequestHeader:
        return SetRequestHeader(args, excep);
      case kSend:
        return Send(args, excep);
      case kWaitForResponse:
        return WaitForResponse(args, result, excep);
      case kAbort:
        Stop();
        state_ = State::Closed;
        return S_OK;
      case kOption:
        return kind == InvokeKind::PropertyGet ? GetOption(args, result, excep) : SetOption(args, excep);
      case kSetTimeouts:
        return SetTimeouts(args, excep);
      case kSetProxy:
        return SetProxy(args, excep);
      case kSetCredentials:
        return SetCredentials(args, excep);
      case kSetClientCertificate:
        return S_OK;
      case kSetAutoLogonPolicy:
        if (args[0].Signed() < 0 || args[0].Signed() > 2) return Fail(excep, E_INVALIDARG);
        return S_OK;
      default:
        return ReadResponse(id, args, result, excep);
    }
  }

 private:
  enum class State { Closed, Opened, Sending, Done };

  static HRESULT Fail(ExcepInfo& excep, HRESULT code) { return Raise(excep, code, u"The request failed", kSource); }

  HRESULT Open(CallArgs& args, ExcepInfo& excep) {
    const std::u16string& method = args[0].TextValue();
    const std::u16string& url = args[1].TextValue();
    bool async = false;
    if (args.Given(2)) {
      Variant flag;
      if (Failed(ChangeType(args[2], VT_BOOL, flag))) return Fail(excep, DISP_E_TYPEMISMATCH);
      async = flag.BoolValue();
    }
    const std::u16string_view view(url);
    auto startsWith = [&](std::u16string_view scheme) {
      return view.size() >= scheme.size() && text::EqualsIgnoreAsciiCase(view.substr(0, scheme.size()), scheme);
    };
    // Opening again starts a new request, whether or not this one opens.
    Stop();
    state_ = State::Closed;
    response_ = Response{};
    if (!startsWith(u"http://") && !startsWith(u"https://")) return Fail(excep, kUnrecognizedScheme);
    if (method.empty()) return Fail(excep, E_INVALIDARG);
    settings_.method = text::FromUtf16(method);
    settings_.url = UrlBytes(url, urlCodePage_);
    settings_.headers.clear();
    settings_.body.reset();
    settings_.serverCredentials.reset();
    settings_.proxyCredentials.reset();
    url_ = url;
    async_ = async;
    response_ = Response{};
    state_ = State::Opened;
    return S_OK;
  }

  HRESULT SetRequestHeader(CallArgs& args, ExcepInfo& excep) {
    if (state_ == State::Closed) return Fail(excep, kBeforeOpen);
    if (state_ != State::Opened) return Fail(excep, kAfterSend);
    const std::string name = text::EncodeUtf8(args[0].TextValue());
    const std::string value = text::EncodeUtf8(args[1].TextValue());
    if (name.empty() || name.find_first_of(":\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
      return Fail(excep, E_INVALIDARG);
    }
    for (Header& header : settings_.headers) {
      if (text::EqualsIgnoreAsciiCase(header.name, name, text::ByteText::Raw)) {
        header.value = value;
        return S_OK;
      }
    }
    settings_.headers.push_back({name, value});
    return S_OK;
  }

  HRESULT Send(CallArgs& args, ExcepInfo& excep) {
    if (state_ == State::Closed) return Fail(excep, kBeforeOpen);
    // Sending again once the last response is in sends the request again;
    // only a transfer still under way refuses.
    if (state_ == State::Sending && !Collect(std::chrono::milliseconds(0))) return Fail(excep, kAfterSend);
    settings_.body.reset();
    if (args.Given(0) && !args[0].IsEmpty()) {
      const Variant& body = args[0];
      if (body.Type() == (VT_ARRAY | VT_UI1)) {
        const std::vector<std::uint8_t>& bytes = body.ArrayValue()->ByteData();
        settings_.body = std::string(bytes.begin(), bytes.end());
      } else {
        Variant text;
        if (Failed(ChangeType(body, VT_BSTR, text))) return Fail(excep, DISP_E_TYPEMISMATCH);
        settings_.body = text::EncodeUtf8(text.TextValue());
      }
    }
    settings_.userAgent = userAgent_;
    settings_.followRedirects = followRedirects_;
    settings_.maxRedirects = maxRedirects_;
    abort_ = false;
    if (!async_) {
      response_ = Transfer(settings_, abort_);
      state_ = State::Done;
      return Failed(response_.code) ? Fail(excep, response_.code) : S_OK;
    }
    state_ = State::Sending;
    {
      const std::lock_guard lock(mutex_);
      finished_ = false;
      running_ = true;
    }
    TransferPool::Get().Run([this, settings = settings_] {
      Response response = Transfer(settings, abort_);
      const std::lock_guard lock(mutex_);
      finishedResponse_ = std::move(response);
      finished_ = true;
      running_ = false;
      done_.notify_all();
    });
    return S_OK;
  }

  // Takes an asynchronous transfer's response once it has finished.
  bool Collect(std::optional<std::chrono::milliseconds> wait) {
    if (state_ != State::Sending) return state_ == State::Done;
    std::unique_lock lock(mutex_);
    if (wait) {
      if (!done_.wait_for(lock, *wait, [this] { return finished_; })) return false;
    } else {
      done_.wait(lock, [this] { return finished_; });
    }
    response_ = std::move(finishedResponse_);
    lock.unlock();
    state_ = State::Done;
    return true;
  }

  HRESULT WaitForResponse(CallArgs& args, Variant& result, ExcepInfo& excep) {
    if (state_ == State::Closed) return Fail(excep, kBeforeOpen);
    if (state_ == State::Opened) return Fail(excep, kBeforeSend);
    std::optional<std::chrono::milliseconds> wait;
    if (args.Given(0)) {
      Variant seconds;
      if (Failed(ChangeType(args[0], VT_I4, seconds))) return Fail(excep, DISP_E_TYPEMISMATCH);
      if (seconds.Signed() >= 0) wait = std::chrono::seconds(seconds.Signed());
    }
    if (!Collect(wait)) {
      result = Variant::Bool(false);
      return S_OK;
    }
    if (Failed(response_.code)) return Fail(excep, response_.code);
    result = Variant::Bool(true);
    return S_OK;
  }

  HRESULT ReadResponse(DispId id, CallArgs& args, Variant& result, ExcepInfo& excep) {
    if (state_ == State::Closed || state_ == State::Opened) return Fail(excep, kBeforeSend);
    if (!Collect(std::chrono::milliseconds(0))) return Fail(excep, kPending);
    if (Failed(response_.code)) return Fail(excep, response_.code);
    switch (id) {
      case kStatus:
        result = Variant::I4(static_cast<std::int32_t>(response_.status));
        return S_OK;
      case kStatusText:
        result = Variant::Text(text::DecodeUtf8(response_.statusText));
        return S_OK;
      case kResponseText: {
        std::u16string decoded;
        const std::string charset = CharsetOf(response_);
        if (charset.empty() || !text::DecodeCharset(response_.body, charset, decoded)) {
          // Unlabelled: UTF-8 when the bytes are UTF-8, else the system code
          // page of the systems we serve (936), which never gives U+FFFD.
          decoded = text::IsUtf8(response_.body) ? text::DecodeUtf8(response_.body) : text::ToUtf16(response_.body);
        }
        result = Variant::Text(std::move(decoded));
        return S_OK;
      }
      case kResponseBody: {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(response_.body.data());
        result = Variant::Array(SafeArray::Bytes({bytes, response_.body.size()}));
        return S_OK;
      }
      case kResponseStream:
        result = Variant::Unknown(MakeObject<ResponseStream>(response_.body));
        return S_OK;
      case kGetResponseHeader: {
        const std::string name = text::EncodeUtf8(args[0].TextValue());
        for (const Header& header : response_.headers) {
          if (text::EqualsIgnoreAsciiCase(header.name, name, text::ByteText::Raw)) {
            result = Variant::Text(text::DecodeUtf8(header.value));
            return S_OK;
          }
        }
        return Fail(excep, kHeaderNotFound);
      }
      case kGetAllResponseHeaders: {
        std::string all;
        for (const Header& header : response_.headers) all += header.name + ": " + header.value + "\r\n";
        result = Variant::Text(text::DecodeUtf8(all));
        return S_OK;
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  HRESULT GetOption(CallArgs& args, Variant& result, ExcepInfo& excep) {
    switch (args[0].Signed()) {
      case 0:
        result = Variant::Text(text::DecodeUtf8(userAgent_));
        return S_OK;
      case 1:
        // The resource's address: where the redirects led once the response
        // is in, so that a caller can see whether it was redirected.
        if (Collect(std::chrono::milliseconds(0)) && !response_.redirectedUrl.empty()) {
          result = Variant::Text(text::DecodeUtf8(response_.redirectedUrl));
        } else {
          result = Variant::Text(url_);
        }
        return S_OK;
      case 2:
        result = Variant::I4(urlCodePage_);
        return S_OK;
      case 6:
        result = Variant::Bool(followRedirects_);
        return S_OK;
      case 9: {
        std::uint32_t flags = 0;
        for (int version = settings_.tlsLowest; version <= settings_.tlsHighest; ++version) {
          flags |= kTlsFlags[version];
        }
        result = Variant::I4(static_cast<std::int32_t>(flags));
        return S_OK;
      }
      case 14:
        result = Variant::I4(static_cast<std::int32_t>(maxRedirects_));
        return S_OK;
      default:
        return Fail(excep, E_NOTIMPL);
    }
  }

  HRESULT SetOption(CallArgs& args, ExcepInfo& excep) {
    const Variant& value = args[1];
    Variant converted;
    switch (args[0].Signed()) {
      case 0:
        if (Failed(ChangeType(value, VT_BSTR, converted))) return Fail(excep, DISP_E_TYPEMISMATCH);
        userAgent_ = text::EncodeUtf8(converted.TextValue());
        return S_OK;
      case 2:
        if (Failed(ChangeType(value, VT_I4, converted))) return Fail(excep, DISP_E_TYPEMISMATCH);
        urlCodePage_ = static_cast<std::int32_t>(converted.Signed());
        return S_OK;
      case 6:
        if (Failed(ChangeType(value, VT_BOOL, converted))) return Fail(excep, DISP_E_TYPEMISMATCH);
        followRedirects_ = converted.BoolValue();
        return S_OK;
      case 9: {
        if (Failed(ChangeType(value, VT_I4, converted))) return Fail(excep, DISP_E_TYPEMISMATCH);
        // A value the transfer cannot keep to is refused, as the platform
        // refuses a protocol it does not know; it never quietly allows more.
        const auto range = TlsRange(static_cast<std::uint32_t>(converted.Signed()));
        if (!range) return Fail(excep, E_INVALIDARG);
        settings_.tlsLowest = range->first;
        settings_.tlsHighest = range->second;
        return S_OK;
      }
      case 14:
        if (Failed(ChangeType(value, VT_I4, converted)) || converted.Signed() < 0) return Fail(excep, E_INVALIDARG);
        maxRedirects_ = static_cast<long>(converted.Signed());
        return S_OK;
      case 1:
        // The URL is Open's to set.
        return Fail(excep, E_INVALIDARG);
      default:
        return Fail(excep, E_NOTIMPL);
    }
  }

  HRESULT SetTimeouts(CallArgs& args, ExcepInfo& excep) {
    std::int32_t values[4];
    for (std::size_t i = 0; i < 4; ++i) {
      values[i] = static_cast<std::int32_t>(args[i].Signed());
      if (values[i] < -1) return Fail(excep, E_INVALIDARG);
    }
    settings_.resolveTimeout = values[0];
    settings_.connectTimeout = values[1];
    settings_.sendTimeout = values[2];
    settings_.receiveTimeout = values[3];
    return S_OK;
  }

  HRESULT SetProxy(CallArgs& args, ExcepInfo& excep) {
    const std::int64_t setting = args[0].Signed();
    if (setting < 0 || setting > 2) return Fail(excep, E_INVALIDARG);
    settings_.proxySetting = static_cast<std::int32_t>(setting);
    Variant server;
    Variant bypass;
    settings_.proxy =
        args.Given(1) && Succeeded(ChangeType(args[1], VT_BSTR, server)) ? text::EncodeUtf8(server.TextValue()) : "";
    settings_.proxyBypass =
        args.Given(2) && Succeeded(ChangeType(args[2], VT_BSTR, bypass)) ? text::EncodeUtf8(bypass.TextValue()) : "";
    if (setting == 2 && settings_.proxy.empty()) return Fail(excep, E_INVALIDARG);
    return S_OK;
  }

  HRESULT SetCredentials(CallArgs& args, ExcepInfo& excep) {
    if (state_ == State::Closed) return Fail(excep, kBeforeOpen);
    if (state_ != State::Opened) return Fail(excep, kAfterSend);
    auto credentials = std::make_pair(text::EncodeUtf8(args[0].TextValue()), text::EncodeUtf8(args[1].TextValue()));
    const std::int64_t flags = args[2].Signed();
    if (flags == 0) {
      settings_.serverCredentials = std::move(credentials);
    } else if (flags == 1) {
      settings_.proxyCredentials = std::move(credentials);
    } else {
      return Fail(excep, E_INVALIDARG);
    }
    return S_OK;
  }

  // Ends a running transfer and waits until it has let go of this object.
  void Stop() {
    abort_ = true;
    {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [this] { return !running_; });
    }
    abort_ = false;
  }

  State state_ = State::Closed;
  RequestSettings settings_;
  std::u16string url_;
  bool async_ = false;
  std::string userAgent_ = kDefaultUserAgent;
  std::int32_t urlCodePage_ = 65001;
  bool followRedirects_ = true;
  long maxRedirects_ = 10;
  Response response_;

  std::atomic<bool> abort_{false};
  std::mutex mutex_;
  std::condition_variable done_;
  bool running_ = false;
  bool finished_ = false;
  Response finishedResponse_;
};

const ClassRegistration registration(kWinHttpRequestClsid, {kWinHttpRequestProgId, "WinHttp.WinHttpRequest"},
                                     [] { return MakeObject<WinHttpRequest>(); });

}  // namespace
}  // namespace rankora::components
