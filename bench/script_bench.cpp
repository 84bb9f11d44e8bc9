// The weight extraction as a lookup makes it: a new engine, the extraction
// script defined, and one run over a page of the service's size (60 KB,
// Chinese markup, the weight image near the end).
#include <benchmark/benchmark.h>

#include <string>

#include "automation/assign.h"
#include "automation/reading.h"
#include "files/memory.h"
#include "script/script_engine.h"
#include "text/gbk.h"

namespace {

using namespace rankora;

constexpr char kSubs[] = "function Subs(t,s,e){var c;c=t.indexOf(s)+s.length;return(t.substr(c,t.indexOf(e,c)-c));}";
constexpr char kPrefix[] = "http://static.aizhan.com/images/brs/";

std::string Page(std::size_t bytes) {
  const std::string chunk = text::Gbk("<div class=\"box\"><span>百度权重</span><a href=\"/x\">爱站</a></div>\n");
  std::string page;
  while (page.size() < bytes) page += chunk;
  return page + "<img src=\"" + kPrefix + "7.gif\">";
}

std::string Extract(const std::string& page) {
  std::vector<automation::Variant> args(3);
  automation::Assign(args[0], page);
  automation::Assign(args[1], std::string(kPrefix));
  automation::Assign(args[2], std::string(".gif"));
  const script::ArgumentList list = script::ArgumentList::Of(std::move(args));
  script::ScriptEngine engine;
  engine.SetLanguage();
  engine.ExecuteStatement(kSubs);
  return automation::GetText(engine.Run("Subs", &list));
}

void BM_ExtractWeight(benchmark::State& state) {
  const std::string page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const std::string weight = Extract(page);
    if (weight != "7") state.SkipWithError("wrong weight");
    benchmark::DoNotOptimize(weight);
  }
}
BENCHMARK(BM_ExtractWeight)->Arg(60 << 10)->Unit(benchmark::kMicrosecond);

void BM_TimeStamp(benchmark::State& state) {
  for (auto _ : state) {
    script::ScriptEngine engine;
    engine.SetLanguage();
    benchmark::DoNotOptimize(automation::GetText(engine.Eval("new Date().getTime()")));
  }
}
BENCHMARK(BM_TimeStamp)->Unit(benchmark::kMicrosecond);

}  // namespace

// With the program's allocation policy, as the window runs.
int main(int argc, char** argv) {
  files::KeepFreedMemory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
