// Sequential GETs of a 60 KB page from a loopback server: each with a new
// HttpRequest as the weight lookup makes them (asynchronous send, wait, the
// body as text), against a bare libcurl loop that fetches the same page.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "app/memory.h"
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

}  // namespace

int main(int argc, char** argv) {
  app::KeepFreedMemory();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
