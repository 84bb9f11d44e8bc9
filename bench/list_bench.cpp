// The results list in the real window (Qt's offscreen platform): sorting by
// weight as the sort button does, for 1,000 to 100,000 rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <string>

#include "app/results_file.h"
#include "ui/qt/main_window.h"

namespace {

using namespace rankora;

void Fill(app::ResultList& list, int rows) {
  for (int i = 0; i < rows; ++i) {
    const int row = list.InsertRow();
    list.SetCellText(row, 0, "www.site" + std::to_string(i) + ".com");
    list.SetCellText(row, 1, std::to_string((i * 7919) % 11));
  }
}

void BM_SortByWeight(benchmark::State& state) {
  ui::qt::MainWindow window;
  window.show();
  Fill(window.ResultListControl(), static_cast<int>(state.range(0)));
  for (auto _ : state) window.GetProgram().SortByWeight();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SortByWeight)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_FillList(benchmark::State& state) {
  for (auto _ : state) {
    ui::qt::MainWindow window;
    window.show();
    Fill(window.ResultListControl(), static_cast<int>(state.range(0)));
  }
}
BENCHMARK(BM_FillList)->Arg(100000)->Unit(benchmark::kMillisecond);

// What a save does once its file is chosen: the rows copied from the list,
// then the file written.
void BM_SaveRows(benchmark::State& state) {
  ui::qt::MainWindow window;
  Fill(window.ResultListControl(), static_cast<int>(state.range(0)));
  app::ResultList& list = window.ResultListControl();
  const std::string path = "/tmp/rankora-bench-results.txt";
  for (auto _ : state) {
    std::vector<app::ResultRow> rows(static_cast<std::size_t>(list.RowCount()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
      rows[r] = {list.CellText(static_cast<int>(r), 0), list.CellText(static_cast<int>(r), 1)};
    }
    if (app::WriteResultsFile(path, rows)) state.SkipWithError("not written");
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_SaveRows)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
