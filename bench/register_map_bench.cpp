// Load, index check and save of the largest register map: 64 DeviceNet nodes and
// 7,000 registers in each of the read and write maps.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "documents/register_map.h"

namespace {

constexpr int kNodes = 64;
constexpr int kRegistersPerMap = 7000;
constexpr int kBytesPerNode = 93;  // 64 × 93 = 5952, within the 6000-byte sums

struct Files {
    std::filesystem::path folder;
    std::filesystem::path dnet;
    std::filesystem::path defReg;
};

const Files& files() {
    static const Files f = [] {
        Files made;
        made.folder = std::filesystem::temp_directory_path() /
                      ("velmora_register_map_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(made.folder);
        made.dnet = made.folder / "DNET_Net.xml";
        made.defReg = made.folder / "DefReg.xml";

        std::string dnet = "<DNET_Net>";
        for (int n = 0; n < kNodes; ++n) {
            const std::string bytes = std::to_string(kBytesPerNode);
            dnet += "<row ID=\"" + std::to_string(n) + "\" NB_IN=\"" + bytes + "\" NB_OUT=\"" +
                    bytes + "\" Mnemonic=\"Node" + std::to_string(n) + "\"/>";
        }
        dnet += "</DNET_Net>";
        std::ofstream(made.dnet, std::ios::binary) << dnet;

        // Even indexes only, so every odd index is free; registers spread over all nodes.
        velmora::RegisterMap map;
        velmora::DNNodeLists& lists = map.nodeLists.emplace();
        for (int n = 0; n < kNodes; ++n) {
            lists.DNNodeListRead.push_back({n, n + 1, std::to_string(n), "93", kBytesPerNode, {}});
            lists.DNNodeListWrite.push_back({n, n + 1, std::to_string(n), "93", kBytesPerNode, {}});
        }
        for (int i = 0; i < kRegistersPerMap; ++i) {
            const auto node = static_cast<std::size_t>((i * 37) % kNodes);
            const int high = 1 + i % kBytesPerNode;
            const int low = 1 + (i + 1) % kBytesPerNode;
            const std::string posComp = std::to_string(velmora::PackPosComp(high, low));
            lists.DNNodeListRead[node].appendEntry(
                velmora::TClIndMB(std::to_string(2 * i), posComp));
            lists.DNNodeListWrite[node].appendEntry(
                velmora::TClIndMB(std::to_string(2 * i), posComp));
        }
        velmora::SaveRegisterMap(map, made.defReg);
        return made;
    }();
    return f;
}

velmora::RegisterMap loadMap() {
    return velmora::LoadRegisterMap(files().dnet, files().defReg, [](const std::string&) {});
}

void BM_LoadRegisterMap(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(loadMap());
}
BENCHMARK(BM_LoadRegisterMap)->Unit(benchmark::kMillisecond);

void BM_IndexInUseFreeIndex(benchmark::State& state) {
    const velmora::RegisterMap map = loadMap();
    const auto& read = map.nodeLists->DNNodeListRead;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            velmora::IndexInUse(read, "13999", -1, -1, [](const std::string&) {}));
    }
}
BENCHMARK(BM_IndexInUseFreeIndex)->Unit(benchmark::kMicrosecond);

void BM_RegisterMapDocument(benchmark::State& state) {
    const velmora::RegisterMap map = loadMap();
    for (auto _ : state) benchmark::DoNotOptimize(velmora::RegisterMapDocument(map));
}
BENCHMARK(BM_RegisterMapDocument)->Unit(benchmark::kMillisecond);

void BM_SaveRegisterMap(benchmark::State& state) {
    const velmora::RegisterMap map = loadMap();
    const auto target = files().folder / "DefReg_saved.xml";
    for (auto _ : state) velmora::SaveRegisterMap(map, target);
}
BENCHMARK(BM_SaveRegisterMap)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(files().folder, ignored);
    return 0;
}
