// A batch of 1,000 domains against the stand-in service on loopback, one
// whole lookup each (time stamp script, request, extraction script), beside a
// bare libcurl loop that fetches the same pages: the difference is the
// program's own work per lookup.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "files/memory.h"
#include "lookup/weight_lookup.h"
#include "weight_service.h"

namespace {

using namespace rankora;

constexpr int kBatch = 1000;

tools::LoopbackServer& Server() {
  static tools::WeightService service(tools::WeightServiceOptions{});
  static tools::LoopbackServer server([](const tools::ReceivedRequest& request) { return service.Handle(request); });
  return server;
}

std::string Domain(int i) { return "www.site" + std::to_string(i % kBatch) + ".com"; }

void BM_LookupWeight(benchmark::State& state) {
  const lookup::Endpoints endpoints{Server().Host(), lookup::kImageHost};
  int i = 0;
  for (auto _ : state) {
    if (lookup::LookupWeight(Domain(i++), endpoints) != "3") state.SkipWithError("no weight");
  }
}
BENCHMARK(BM_LookupWeight)->Iterations(kBatch)->Unit(benchmark::kMicrosecond);
// The request runs on a transfer thread (src/components/http/transfer_pool.h)
// that the benchmark thread's own CPU time leaves out: the process's counts
// it, and the stand-in service's work, which is the same for both loops.
BENCHMARK(BM_LookupWeight)->Iterations(kBatch)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_BareCurlPage(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    const std::string url = lookup::RequestUrl({Server().Host(), lookup::kImageHost}, Domain(i++), "1700000000000");
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (body.find("/images/brs/3.gif") == std::string::npos) state.SkipWithError("no weight");
  }
}
BENCHMARK(BM_BareCurlPage)->Iterations(kBatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareCurlPage)->Iterations(kBatch)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

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
