// The text primitives on inputs of the sizes the program meets: a pasted list
// of many domains, and a service page of some tens of kilobytes.
#include <benchmark/benchmark.h>

#include <string>

#include "text/gbk.h"

namespace {

std::string DomainList(int lines) {
  std::string list;
  for (int i = 0; i < lines; ++i) list += "www.example" + std::to_string(i) + ".com | 3\r\n";
  return list;
}

std::string Page(std::size_t bytes) {
  const std::string chunk = rankora::text::Gbk("<div class=\"box\">爱站权重 百度权重</div>\n");
  std::string page;
  while (page.size() < bytes) page += chunk;
  return page + "<img src=\"http://static.aizhan.com/images/brs/7.gif\">";
}

void BM_SplitLines(benchmark::State& state) {
  const std::string list = DomainList(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(rankora::text::Split(list, "\r\n"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * list.size()));
}
BENCHMARK(BM_SplitLines)->Arg(1000)->Arg(100000);

void BM_FindInPage(benchmark::State& state) {
  const std::string page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(rankora::text::Find(page, "http://static.aizhan.com/images/brs/"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_FindInPage)->Arg(64 << 10);

void BM_GbkToUtf16(benchmark::State& state) {
  const std::string page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(rankora::text::ToUtf16(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_GbkToUtf16)->Arg(64 << 10);

void BM_ShortCellToUtf16(benchmark::State& state) {
  const std::string cell = "www.example123.com";
  for (auto _ : state) benchmark::DoNotOptimize(rankora::text::ToUtf16(cell));
}
BENCHMARK(BM_ShortCellToUtf16);

}  // namespace

BENCHMARK_MAIN();
