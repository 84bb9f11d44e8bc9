// The window's long run beside rankora-batch's: the same domains through 8
// exits of the stand-in service on loopback, each limited by the service to
// 600 lookups in any 60 seconds and paced just under it (590 a minute: the
// pacing's jitter would otherwise now and then put a 601st lookup into some
// 60 seconds, and its refusal would cool that exit for the 15 minutes of the
// default cool-down), 16 lookups in flight. For the Qt
// window (offscreen): the run's length, the longest time its event loop went
// without turning (a timer every 5 ms measures it), and its memory at the
// end; for rankora-batch, the run's length. The domain count is the
// benchmark's argument (10,000: about two minutes a run).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/program.h"
#include "child_process.h"
#include "ui/qt/main_window.h"
#include "ui/qt/settings_dialog.h"
#include "weight_service.h"

namespace {

using namespace rankora;
using Clock = std::chrono::steady_clock;

constexpr int kExits = 8;
constexpr int kLimit = 600;
constexpr int kPerMinute = 590;
constexpr int kInFlight = 16;

std::string DomainText(int count, const char* lineEnd) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "www.site" + std::to_string(i) + ".com" + lineEnd;
  return text;
}

// The process's resident memory now and at its highest, in MiB.
std::pair<double, double> Memory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  double now = 0, peak = 0;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) now = std::stod(line.substr(6)) / 1024;
    if (line.starts_with("VmHWM:")) peak = std::stod(line.substr(6)) / 1024;
  }
  return {now, peak};
}

std::unique_ptr<tools::WeightServiceExits> Service() {
  tools::WeightServiceOptions options;
  options.limit = kLimit;
  return std::make_unique<tools::WeightServiceExits>(options, kExits);
}

void BM_WindowRun(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto service = Service();
  std::string proxies;
  for (int i = 0; i < kExits; ++i) proxies += "http://" + service->Host(static_cast<std::size_t>(i)) + "\r\n";
  // The user's settings, as the dialog keeps them.
  ui::qt::QtSettingsStore store;
  app::Settings settings;
  settings.proxies = proxies;
  settings.perMinute = kPerMinute;
  settings.inFlight = kInFlight;
  app::SaveSettings(store, settings);

  double seconds = 0, stall = 0;
  long rows = 0;
  for (auto _ : state) {
    ui::qt::MainWindow window;
    window.show();
    app::Program& program = window.GetProgram();
    program.UseService("http://www.aizhan.com");
    window.DomainBoxControl().SetText(DomainText(count, "\r\n"));
    Clock::time_point last = Clock::now();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const Clock::time_point now = Clock::now();
      stall = std::max(stall, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
      if (!program.Running()) QCoreApplication::exit(0);
    });
    const Clock::time_point start = Clock::now();
    program.RunBatch();
    last = Clock::now();
    tick.start(5);
    QCoreApplication::exec();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rows = window.ResultListControl().RowCount();
    state.SetIterationTime(seconds);
  }
  const auto [now, peak] = Memory();
  state.counters["seconds"] = seconds;
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["longest_stall_ms"] = stall;
  state.counters["rss_end_MiB"] = now;
  state.counters["rss_peak_MiB"] = peak;
}
BENCHMARK(BM_WindowRun)->Arg(1000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_BatchRun(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto service = Service();
  const QTemporaryDir folder;
  const std::string base = folder.path().toStdString();
  std::string proxies;
  for (int i = 0; i < kExits; ++i) proxies += "http://" + service->Host(static_cast<std::size_t>(i)) + "\n";
  std::ofstream(base + "/proxies.txt") << proxies;
  std::ofstream(base + "/in.txt", std::ios::binary) << DomainText(count, "\r\n");
  double seconds = 0;
  for (auto _ : state) {
    std::filesystem::remove(base + "/out.txt");
    const Clock::time_point start = Clock::now();
    testing::ChildProcess child(
        RANKORA_BATCH_PROGRAM, {base + "/in.txt", "-o", base + "/out.txt", "--proxies", base + "/proxies.txt", "--rate",
                                std::to_string(kPerMinute), "--concurrency", std::to_string(kInFlight), "--service",
                                "http://www.aizhan.com", "-q"});
    child.Wait(std::chrono::minutes(30));
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
  }
  state.counters["seconds"] = seconds;
}
BENCHMARK(BM_BatchRun)->Arg(1000)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Settings and the run's journal in folders of the benchmark's own.
  const QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
  qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
