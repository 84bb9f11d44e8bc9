// Sequential GETs of a 60 KB page from a loopback server: each with a new
// HttpRequest as the weight lookup makes them (asynchronous send, wait, the
// body as text), against a bare libcurl loop that fetches the same page.
// And the cookie merge of a response with many Set-Cookie lines.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "automation/component.h"
#include "automation/registry.h"
#include "files/memory.h"
#include "loopback_server.h"
#include "net/http_request.h"
#include "text/gbk.h"

namespace {

using namespace rankora;

std::string Page() {
  const std::string chunk = text::Gbk("<div class=\"box\"><span>百度权重</span><a href=\"/x\">爱站</a></div>\n");
  std::string page;
  while (page.size() < (60u << 10)) page += chunk;
  return page + "<img src=\"http://static.aizhan.com/images/brs/7.gif\">";
}

tools::LoopbackServer& Server() {
  static tools::LoopbackServer server([page = Page()](const tools::ReceivedRequest&) {
    tools::Reply reply;
    reply.headers.push_back({"Content-Type", "text/html; charset=gbk"});
    reply.body = page;
    return reply;
  });
  return server;
}

void BM_HttpRequest(benchmark::State& state) {
  const std::string url = Server().Origin() + "/getbrinfo.php?url=www.baidu.com/&_1700000000000";
  for (auto _ : state) {
    net::HttpRequest request;
    request.Create();
    request.Open("GET", url, state.range(0) != 0);
    request.SetDefaultHeaders(url);
    request.Send();
    request.WaitForResponse();
    const std::string text = request.GetResponseText();
    if (text.size() < (60u << 10)) state.SkipWithError("short page");
    request.Clear();
  }
}
BENCHMARK(BM_HttpRequest)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_BareCurl(benchmark::State& state) {
  const std::string url = Server().Origin() + "/getbrinfo.php?url=www.baidu.com/&_1700000000000";
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    std::string body;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Accept: */*");
    headers = curl_slist_append(headers, "Accept-Language: zh_cn");
    headers = curl_slist_append(headers, ("Referer: " + url).c_str());
    headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (body.size() < (60u << 10)) state.SkipWithError("short page");
  }
}
BENCHMARK(BM_BareCurl)->Unit(benchmark::kMicrosecond);

// A request object that only answers GetAllResponseHeaders, with the headers
// of a response that sets as many cookies of different names as the case
// says (32 bytes a line). libcurl takes at most 300 KB of headers, so 20,000
// lines cannot come through a real exchange; the merge sees the same text
// either way.
class HeaderStub final : public automation::Component {
 public:
  const automation::TypeInfo* GetTypeInfo() const override {
    static const automation::TypeInfo info({
        {"GetAllResponseHeaders", 1, false, automation::InvokeKind::Method, automation::VT_BSTR, {}, false},
    });
    return &info;
  }
  automation::HRESULT Invoke(automation::DispId /*id*/, automation::InvokeKind /*kind*/, automation::CallArgs& /*args*/,
                             automation::Variant& result, automation::ExcepInfo& /*excep*/) override {
    result = automation::Variant::Text(headers);
    return automation::S_OK;
  }

  static inline std::u16string headers;
};

const automation::ClassRegistration kHeaderStub("{0F6A2C4E-8B1D-4E7A-9C35-D2B84F1E6A70}", {"Rankora.HeaderStub"},
                                                [] { return automation::MakeObject<HeaderStub>(); });

std::u16string SetCookieHeaders(int cookies) {
  std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
  for (int i = 0; i < cookies; ++i) {
    headers += "Set-Cookie: c" + std::to_string(100000 + i).substr(1) + "=v1; path=/\r\n";
  }
  headers += "Content-Length: 0\r\n\r\n";
  return text::ToUtf16(headers);
}

void BM_UpdateCookies(benchmark::State& state) {
  HeaderStub::headers = SetCookieHeaders(static_cast<int>(state.range(0)));
  state.counters["header_bytes"] = static_cast<double>(HeaderStub::headers.size());
  for (auto _ : state) {
    net::HttpRequest request;
    request.Create("Rankora.HeaderStub");
    const std::string store = request.UpdateCookies();
    if (store.size() < static_cast<std::size_t>(state.range(0)) * 10) state.SkipWithError("short store");
  }
}
BENCHMARK(BM_UpdateCookies)->Arg(9000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  files::KeepFreedMemory();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
