// Reading the input of a long run: a million lines, as plain domains, as
// URLs to clean with duplicates to drop, and as Chinese domains in UTF-8.
// Besides the time, each benchmark reports the process's peak memory while
// it ran (the high-water mark is reset before it starts) and the size of the
// input it read, which the peak includes.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "batch/input.h"

namespace {

constexpr int kLines = 1000000;

std::string PlainLines() {
  std::string bytes;
  for (int i = 0; i < kLines; ++i) bytes += "www.example" + std::to_string(i) + ".com\r\n";
  return bytes;
}

// Every domain twice, as a URL with a port, a path and blanks.
std::string UrlLines() {
  std::string bytes;
  for (int i = 0; i < kLines; ++i) bytes += " https://WWW.Example" + std::to_string(i / 2) + ".com:8080/a?b=c\t\r\n";
  return bytes;
}

std::string ChineseLines() {
  std::string bytes = "\xEF\xBB\xBF";
  for (int i = 0; i < kLines; ++i) bytes += "中文网站" + std::to_string(i) + ".中国 | 3\r\n";
  return bytes;
}

// Linux keeps the peak resident size in VmHWM and resets it on "5" written to
// clear_refs.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double PeakMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stod(line.substr(6)) / 1024;
  }
  return 0;
}

void Run(benchmark::State& state, const std::string& bytes, const rankora::batch::InputOptions& options) {
  ResetPeak();
  std::size_t domains = 0;
  for (auto _ : state) {
    const rankora::batch::Input input = rankora::batch::ReadInput(bytes, options);
    domains = input.domains.size();
    benchmark::DoNotOptimize(input.domains.data());
  }
  state.counters["peak_MiB"] = PeakMiB();
  state.counters["input_MiB"] = static_cast<double>(bytes.size()) / (1 << 20);
  state.counters["domains"] = static_cast<double>(domains);
  state.SetItemsProcessed(state.iterations() * kLines);
}

void BM_ReadInputPlain(benchmark::State& state) {
  const std::string bytes = PlainLines();
  Run(state, bytes, {});
}
BENCHMARK(BM_ReadInputPlain)->Unit(benchmark::kMillisecond);

void BM_ReadInputCleanUnique(benchmark::State& state) {
  const std::string bytes = UrlLines();
  Run(state, bytes, {.unique = true, .clean = true});
}
BENCHMARK(BM_ReadInputCleanUnique)->Unit(benchmark::kMillisecond);

void BM_ReadInputChineseUtf8(benchmark::State& state) {
  const std::string bytes = ChineseLines();
  Run(state, bytes, {});
}
BENCHMARK(BM_ReadInputChineseUtf8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
