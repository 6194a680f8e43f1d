// The "arguments" parser and markup stripping on large inputs: both must grow
// linearly with the size of the text.
#include <dravo/mcp/nutrition/tools/parameter_arguments.h>
#include <dravo/mcp/nutrition/tools/strip_tags.h>

#include <benchmark/benchmark.h>

#include <string>

namespace {

using dravo::nutrition::ParameterAssignments;
using dravo::nutrition::ParseParameterArguments;
using dravo::nutrition::StripTags;

std::string Repeat(const std::string& unit, std::size_t bytes) {
  std::string text;
  text.reserve(bytes + unit.size());
  while (text.size() < bytes) text += unit;
  return text;
}

void Parse(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    auto parsed = ParseParameterArguments(text);
    benchmark::DoNotOptimize(parsed);
    if (!std::holds_alternative<ParameterAssignments>(parsed)) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(static_cast<std::int64_t>(text.size()));
}

// Many short assignments, both separators, CRs and doubled semicolons.
void BM_ParseManyAssignments(benchmark::State& state) {
  Parse(state, Repeat("TileLength=250;250;0\r\nName=a=b;;c\nFlag=true;", state.range(0)));
}

// One assignment whose value is continued all the way: appends must stay cheap.
void BM_ParseOneLongValue(benchmark::State& state) {
  Parse(state, "Points=" + Repeat("1.5;2.5\n", state.range(0)));
}

void BM_StripTags(benchmark::State& state) {
  const auto text = Repeat("<b>Points</b>: 12 345 <i>in</i> 3 files<br/>\n", state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(StripTags(text));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

constexpr std::int64_t kKB = 1 << 10;
constexpr std::int64_t kMB = 1 << 20;

BENCHMARK(BM_ParseManyAssignments)
    ->Arg(kKB)
    ->Arg(100 * kKB)
    ->Arg(kMB)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_ParseOneLongValue)
    ->Arg(kKB)
    ->Arg(100 * kKB)
    ->Arg(kMB)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_StripTags)->Arg(kMB)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
