// The dictionary's text form and key order with 10,000 entries.
#include <benchmark/benchmark.h>

#include <string>

#include "dict/dictionary.h"

namespace {

using namespace rankora;

void Fill(dict::Dictionary& dictionary, int count) {
  for (int i = 0; i < count; ++i) {
    // Keys in no particular order: the sort has work to do.
    const int n = (i * 7919) % count;
    dictionary.Add("key" + std::to_string(n),
                   automation::Variant::Text(u"www.example.com/" + std::u16string(1, u'a' + n % 26)));
  }
}

void BM_Serialize(benchmark::State& state) {
  dict::Dictionary dictionary;
  Fill(dictionary, static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(dictionary.Serialize());
}
BENCHMARK(BM_Serialize)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Parse(benchmark::State& state) {
  dict::Dictionary source;
  Fill(source, static_cast<int>(state.range(0)));
  const std::string text = source.Serialize();
  dict::Dictionary dictionary;
  for (auto _ : state) dictionary.Parse(text);
}
BENCHMARK(BM_Parse)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_SortByKey(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    dict::Dictionary dictionary;
    Fill(dictionary, static_cast<int>(state.range(0)));
    state.ResumeTiming();
    dictionary.SortByKey();
  }
}
BENCHMARK(BM_SortByKey)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
