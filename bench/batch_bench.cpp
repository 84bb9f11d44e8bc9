// Long runs against the stand-in service on loopback:
// - 4,000 domains through 8 exits, each limited by the service to 600
//   lookups a minute and paced by the engine to 600: the run's length beside
//   the ideal 50 seconds, and the refusals (there should be none);
// - 100,000 domains through an unlimited exit, 32 lookups in flight, beside
//   the window's one lookup after another: lookups a second, with the
//   service answering at once and in 50 ms;
// - rankora-batch's peak memory for an input of 1,000,000 lines, on a first
//   run (stopped by the service's first refusal once the list is read and
//   queued) and on a rerun of a finished output (the journal read back).
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "batch/engine.h"
#include "child_process.h"
#include "files/memory.h"
#include "lookup/source.h"
#include "weight_service.h"

namespace {

using namespace rankora;

std::vector<std::string> Domains(int count) {
  std::vector<std::string> domains;
  domains.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) domains.push_back("www.site" + std::to_string(i) + ".com");
  return domains;
}

struct RunFigures {
  double seconds = 0;
  long found = 0;
  long other = 0;
};

RunFigures RunEngine(lookup::Source& source, const std::vector<lookup::Exit>& exits,
                     const batch::EngineSettings& settings, const std::vector<std::string>& domains) {
  batch::Engine engine(source, exits, settings);
  std::atomic<long> found{0}, other{0};
  const auto start = std::chrono::steady_clock::now();
  engine.Run(domains,
             [&](const batch::Record& record) { (record.outcome == lookup::Outcome::kFound ? found : other)++; });
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), found, other};
}

void BM_PacedThroughEightLimitedExits(benchmark::State& state) {
  tools::WeightServiceOptions options;
  options.limit = 600;
  tools::WeightServiceExits service(options, 8);
  std::vector<lookup::Exit> exits;
  for (std::size_t i = 0; i < service.Count(); ++i) exits.push_back(lookup::Exit{service.Host(i), {}, {}});
  lookup::SourceSettings sourceSettings;
  sourceSettings.service = "http://www.aizhan.com";  // through the exits as proxies
  const std::unique_ptr<lookup::Source> source = lookup::MakeSource(sourceSettings);
  batch::EngineSettings settings;
  settings.ratePerMinute = 600;
  settings.concurrency = 16;
  settings.coolDown = std::chrono::minutes(15);
  const std::vector<std::string> domains = Domains(4000);
  RunFigures figures;
  for (auto _ : state) {
    figures = RunEngine(*source, exits, settings, domains);
    state.SetIterationTime(figures.seconds);
  }
  long refused = 0;
  for (std::size_t i = 0; i < service.Count(); ++i) refused += service.Counts(i).refused;
  state.counters["seconds"] = figures.seconds;
  state.counters["over_ideal_%"] = (figures.seconds / 50.0 - 1) * 100;
  state.counters["found"] = static_cast<double>(figures.found);
  state.counters["refused_by_service"] = static_cast<double>(refused);
}
BENCHMARK(BM_PacedThroughEightLimitedExits)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_UnlimitedExit(benchmark::State& state) {
  const int concurrency = static_cast<int>(state.range(0));
  const int count = static_cast<int>(state.range(1));
  tools::WeightServiceOptions options;
  options.delay = std::chrono::milliseconds(state.range(2));
  tools::WeightServiceExits service(options, 1);
  lookup::SourceSettings sourceSettings;
  sourceSettings.service = service.Origin(0);
  const std::unique_ptr<lookup::Source> source = lookup::MakeSource(sourceSettings);
  batch::EngineSettings settings;
  settings.ratePerMinute = 0;
  settings.concurrency = concurrency;
  const std::vector<std::string> domains = Domains(count);
  RunFigures figures;
  for (auto _ : state) {
    figures = RunEngine(*source, {}, settings, domains);
    state.SetIterationTime(figures.seconds);
  }
  state.counters["lookups_per_second"] = static_cast<double>(figures.found) / figures.seconds;
  state.counters["not_found"] = static_cast<double>(figures.other);
}
// Arguments: lookups in flight, domains, the service's answer time in ms.
// The window's way, one after another, over fewer domains: a rate is a rate.
// On loopback the answer is instant and both ways are bound by the machine;
// with a service that takes its time, lookups in flight are what counts.
BENCHMARK(BM_UnlimitedExit)
    ->Args({1, 5000, 0})
    ->Args({32, 100000, 0})
    ->Args({1, 200, 50})
    ->Args({32, 10000, 50})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Peak resident memory of rankora-batch over one run, in MiB.
double PeakOfRun(const std::vector<std::string>& arguments) {
  testing::ChildProcess child(RANKORA_BATCH_PROGRAM, arguments);
  child.Wait(std::chrono::minutes(10));
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // the largest of the children so far
}

void BM_MillionLinePeakMemory(benchmark::State& state) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "rankora-batch-bench";
  std::filesystem::create_directories(folder);
  const std::string input = (folder / "million.txt").string();
  const std::string output = (folder / "million-out.txt").string();
  {
    std::ofstream in(input, std::ios::binary), out(output, std::ios::binary);
    for (int i = 0; i < 1000000; ++i) {
      in << "www.site" << i << ".com\r\n";
      out << "www.site" << i << ".com | 3\r\n";
    }
  }
  tools::WeightServiceOptions options;
  options.refuseAfter = 0;
  tools::WeightServiceExits service(options, 1);
  double firstRun = 0, rerun = 0;
  for (auto _ : state) {
    firstRun = PeakOfRun({input, "-o", (folder / "first.txt").string(), "--service", service.Origin(0), "-q"});
    rerun = PeakOfRun({input, "-o", output, "--service", service.Origin(0), "-q"});
  }
  state.counters["first_run_peak_MiB"] = firstRun;
  state.counters["rerun_peak_MiB"] = std::max(firstRun, rerun);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_MillionLinePeakMemory)->Iterations(1)->Unit(benchmark::kSecond);

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
