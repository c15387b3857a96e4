// The largest register map, written once into a temporary folder for the benchmarks: 64
// DeviceNet nodes of 93 input and 93 output bytes, and 7,000 registers in each of the read and
// write maps, at even indexes only so that every odd index is free.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "documents/register_map.h"

namespace velmora::bench {

inline constexpr int kNodes = 64;
inline constexpr int kRegistersPerMap = 7000;
inline constexpr int kBytesPerNode = 93;  // 64 × 93 = 5952, within the 6000-byte sums

struct LargeMapFiles {
    std::filesystem::path folder;
    std::filesystem::path dnet;
    std::filesystem::path defReg;
};

// Writes DNET_Net.xml and DefReg.xml into a new folder named after `name`. The registers spread
// over all nodes; with `firstNodeReadRegisters`, exactly that many read registers sit on the first
// node and the others spread over the rest.
inline LargeMapFiles writeLargeMap(const std::string& name, int firstNodeReadRegisters = 0) {
    LargeMapFiles made;
    made.folder = std::filesystem::temp_directory_path() /
                  ("velmora_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(made.folder);
    made.dnet = made.folder / "DNET_Net.xml";
    made.defReg = made.folder / "DefReg.xml";

    const std::string bytes = std::to_string(kBytesPerNode);
    std::string dnet = "<DNET_Net>";
    RegisterMap map;
    DNNodeLists& lists = map.nodeLists.emplace();
    for (int n = 0; n < kNodes; ++n) {
        dnet += "<row ID=\"" + std::to_string(n) + "\" NB_IN=\"" + bytes + "\" NB_OUT=\"" + bytes +
                "\" Mnemonic=\"Node" + std::to_string(n) + "\"/>";
        lists.DNNodeListRead.push_back({n, n + 1, std::to_string(n), bytes, kBytesPerNode, {}});
        lists.DNNodeListWrite.push_back({n, n + 1, std::to_string(n), bytes, kBytesPerNode, {}});
    }
    std::ofstream(made.dnet, std::ios::binary) << dnet << "</DNET_Net>";

    for (int i = 0; i < kRegistersPerMap; ++i) {
        const int high = 1 + i % kBytesPerNode;
        const int low = 1 + (i + 1) % kBytesPerNode;
        const TClIndMB entry(std::to_string(2 * i), std::to_string(PackPosComp(high, low)));
        const int spread = (i * 37) % kNodes;
        const int readNode = firstNodeReadRegisters == 0  ? spread
                             : i < firstNodeReadRegisters ? 0
                                                          : 1 + (i * 37) % (kNodes - 1);
        lists.DNNodeListRead[static_cast<std::size_t>(readNode)].appendEntry(entry);
        lists.DNNodeListWrite[static_cast<std::size_t>(spread)].appendEntry(entry);
    }
    SaveRegisterMap(map, made.defReg);
    return made;
}

// The body of a benchmark's main(): runs the benchmarks the command line selects, then removes
// the folder of `files()`.
inline int runBenchmarks(int argc, char** argv, const LargeMapFiles& (*files)()) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(files().folder, ignored);
    return 0;
}

}  // namespace velmora::bench
