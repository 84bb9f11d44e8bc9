// The regular expression's engine on the program's own work: the
// dictionary's entry pattern over the text of 10,000 entries, and a search
// through a page of the weight service's size for a mark near its end. Built
// once per engine (regexp_bench on PCRE2, regexp_duktape_bench on Duktape's).
#include <benchmark/benchmark.h>

#include <string>

#include "automation/dispatch.h"
#include "components/regexp/regexp_component.h"

namespace {

using namespace rankora;
using namespace rankora::automation;

Object Compiled(const std::string& pattern) {
  Object re;
  Create(re, components::kRegExpProgId);
  WriteProperty(re, "Pattern", {pattern});
  WriteProperty(re, "Global", {true});
  return re;
}

void BM_DictionaryEntries(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < state.range(0); ++i) {
    if (i > 0) text += ',';
    text += "6b6579" + std::to_string(i) + ":8:7777772e6578616d706c652e636f6d";
  }
  const Object re = Compiled("([0-9a-f]+?):(\\d):(\\{.*?\\})|([0-9a-f]+?):(\\d):([0-9a-f]+)");
  for (auto _ : state) {
    const Object matches = CallObjectMethod(re, "Execute", {text});
    benchmark::DoNotOptimize(ReadNumberProperty(matches, "Count"));
  }
}
BENCHMARK(BM_DictionaryEntries)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_MarkNearThePagesEnd(benchmark::State& state) {
  std::string page = "<html><body>";
  while (page.size() < static_cast<std::size_t>(state.range(0))) {
    page += "<div class=\"row\"><a href=\"/cha/www.example.com/\">www.example.com</a><span>12</span></div>\n";
  }
  page += "<ul class=\"weight\"><li><img src=\"//statics.aizhan.com/images/br/7.png\"></li></ul></body></html>";
  const Object re = Compiled("images/br/(\\d+)\\.png");
  for (auto _ : state) benchmark::DoNotOptimize(CallBoolMethod(re, "Test", {page}));
}
BENCHMARK(BM_MarkNearThePagesEnd)->Arg(300000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
