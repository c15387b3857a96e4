// Start and close of the workspace with a settings file grown to 100 MB of blank lines: it is
// read and rewritten line by line, so time grows with the file and memory does not.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "workspace/workspace.h"

namespace {

constexpr std::size_t kFileBytes = std::size_t{100} << 20;

const std::filesystem::path& folder() {
    static const std::filesystem::path made = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("velmora_settings_file_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return made;
}

void writeLargeSettings() {
    std::ofstream out(folder() / std::string(velmora::kSettingsFileName), std::ios::binary);
    const std::string blank(1 << 20, '\n');
    for (std::size_t written = 0; written < kFileBytes; written += blank.size()) out << blank;
    out << "[lastproj]\r\nprojectname=Plant1\r\n";
}

void BM_StartUpAndCloseWithA100MBSettingsFile(benchmark::State& state) {
    writeLargeSettings();
    for (auto _ : state) {
        velmora::Workspace ws(folder());
        ws.startUp();
        ws.Close();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
    std::filesystem::remove_all(folder());
}
BENCHMARK(BM_StartUpAndCloseWithA100MBSettingsFile)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
