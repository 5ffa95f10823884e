// Loading the built-in layouts: from the image the build compiled (what every
// start of the programs pays) against parsing the definition files.

#include "decode/layout_loader.h"

#include <benchmark/benchmark.h>

namespace {

void compiledBuiltIns(benchmark::State& state) {
    for (auto _ : state) {
        tarvik::LayoutLoader loader;
        loader.addBuiltIn();
        benchmark::DoNotOptimize(loader.finish());
    }
}
BENCHMARK(compiledBuiltIns)->Unit(benchmark::kMicrosecond);

void parsedBuiltIns(benchmark::State& state) {
    for (auto _ : state) {
        tarvik::LayoutLoader loader;
        loader.addBuiltInTexts(tarvik::builtInLayoutFiles());
        benchmark::DoNotOptimize(loader.finish());
    }
}
BENCHMARK(parsedBuiltIns)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
