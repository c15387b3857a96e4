// The auto map of the largest node list, 64 nodes of 455 bytes each way, in both maps (29,120
// registers): on an empty map, and again on the map it made (every byte carried, nothing added).
#include <benchmark/benchmark.h>

#include "auto_map_nodes.h"
#include "documents/auto_map.h"

namespace {

using velmora::bench::kAutoMapRegistersPerMap;

void BM_AutoMapEmpty(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        velmora::DNNodeLists lists = velmora::bench::autoMapNodes();
        state.ResumeTiming();
        const velmora::AutoMapResult result = velmora::autoMap(lists, {});
        if (result.added.size() != 2u * kAutoMapRegistersPerMap) state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_AutoMapEmpty)->Unit(benchmark::kMillisecond);

void BM_AutoMapAgainAddsNothing(benchmark::State& state) {
    velmora::DNNodeLists lists = velmora::bench::autoMapNodes();
    velmora::autoMap(lists, {});
    for (auto _ : state) {
        if (!velmora::autoMap(lists, {}).added.empty()) state.SkipWithError("added again");
    }
}
BENCHMARK(BM_AutoMapAgainAddsNothing)->Unit(benchmark::kMillisecond);

void BM_AutoMapAndSave(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        velmora::RegisterMap map{velmora::bench::autoMapNodes()};
        state.ResumeTiming();
        velmora::autoMap(*map.nodeLists, {});
        benchmark::DoNotOptimize(velmora::registerMapDocument(map));
    }
}
BENCHMARK(BM_AutoMapAndSave)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
