// By-name calls on the in-house dictionary: each iteration is one whole call
// as a wrapper makes it (binding, argument and result conversion, the call),
// on dictionaries of 10, 1,000 and 100,000 text keys.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "automation/dispatch.h"
#include "components/dictionary/dictionary_component.h"

namespace {

using namespace rankora::automation;

struct Filled {
  Object dict;
  std::vector<std::string> keys;
};

Filled MakeDictionary(std::int64_t size) {
  Filled filled;
  Create(filled.dict, rankora::components::kDictionaryProgId);
  for (std::int64_t i = 0; i < size; ++i) {
    filled.keys.push_back("www.example" + std::to_string(i) + ".com");
    CallMethod(filled.dict, "Add", {filled.keys.back(), static_cast<std::int32_t>(i)});
  }
  return filled;
}

void BM_Exists(benchmark::State& state) {
  const Filled filled = MakeDictionary(state.range(0));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CallBoolMethod(filled.dict, "Exists", {filled.keys[i]}));
    if (++i == filled.keys.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_ItemGet(benchmark::State& state) {
  const Filled filled = MakeDictionary(state.range(0));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadNumberProperty(filled.dict, "Item", {filled.keys[i]}));
    if (++i == filled.keys.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}

// The same key every time: the cost of the call itself, without the cache
// misses of visiting every key of a large dictionary.
void BM_ExistsSameKey(benchmark::State& state) {
  const Filled filled = MakeDictionary(state.range(0));
  const std::string& key = filled.keys[filled.keys.size() / 2];
  for (auto _ : state) benchmark::DoNotOptimize(CallBoolMethod(filled.dict, "Exists", {key}));
  state.SetItemsProcessed(state.iterations());
}

// Add of a new key, then Remove of it, so the size stays put: two calls.
void BM_AddThenRemove(benchmark::State& state) {
  const Filled filled = MakeDictionary(state.range(0));
  const std::string key = "www.new-key.example.com";
  for (auto _ : state) {
    CallMethod(filled.dict, "Add", {key, 1});
    CallMethod(filled.dict, "Remove", {key});
  }
  state.SetItemsProcessed(2 * state.iterations());
}

BENCHMARK(BM_Exists)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(BM_ExistsSameKey)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(BM_ItemGet)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(BM_AddThenRemove)->Arg(10)->Arg(1000)->Arg(100000);

}  // namespace

BENCHMARK_MAIN();
