// Load, index check and save of the largest register map: 64 DeviceNet nodes and
// 7,000 registers in each of the read and write maps.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "large_register_map.h"

namespace {

const velmora::bench::LargeMapFiles& files() {
    static const velmora::bench::LargeMapFiles made =
        velmora::bench::writeLargeMap("register_map_bench");
    return made;
}

velmora::RegisterMap loadMap() {
    return velmora::LoadRegisterMap(files().dnet, files().defReg).map;
}

void BM_LoadRegisterMap(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(loadMap());
}
BENCHMARK(BM_LoadRegisterMap)->Unit(benchmark::kMillisecond);

void BM_IndexInUseFreeIndex(benchmark::State& state) {
    const velmora::RegisterMap map = loadMap();
    const auto& read = map.nodeLists->DNNodeListRead;
    for (auto _ : state) {
        benchmark::DoNotOptimize(velmora::IndexInUse(read, "13999", -1, -1));
    }
}
BENCHMARK(BM_IndexInUseFreeIndex)->Unit(benchmark::kMicrosecond);

void BM_RegisterMapDocument(benchmark::State& state) {
    const velmora::RegisterMap map = loadMap();
    for (auto _ : state) benchmark::DoNotOptimize(velmora::registerMapDocument(map));
}
BENCHMARK(BM_RegisterMapDocument)->Unit(benchmark::kMillisecond);

void BM_SaveRegisterMap(benchmark::State& state) {
    const velmora::RegisterMap map = loadMap();
    const auto target = files().folder / "DefReg_saved.xml";
    for (auto _ : state) velmora::SaveRegisterMap(map, target);
}
BENCHMARK(BM_SaveRegisterMap)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return velmora::bench::runBenchmarks(argc, argv, files); }
