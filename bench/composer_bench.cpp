// Composing and checking a maximal project (64 nodes, 14,000 register rows) next to a bare
// libxml2 parse of the same three files, and the ratio of composing to parsing; first, the peak
// memory of a process composing with a 60 MB DefReg.xml whose rows all name a node the network
// lacks. bench/compose_vs_xmllint.sh compares velmora-cli with xmllint in instructions and CPU
// time. On a busy machine run it as composer_bench --benchmark_repetitions=8
// --benchmark_enable_random_interleaving=true so that both see the same load.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "image/composer.h"
#include "image/project_check.h"

namespace {

namespace fs = std::filesystem;

constexpr int kNodes = 64;
constexpr int kRowsPerMap = 7000;

void writeFile(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

// A project as the dialogs write it: compact documents, rows spread over all nodes.
fs::path makeMaximalProject() {
    std::string base = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (::mkdtemp(base.data()) == nullptr) std::abort();
    const fs::path dir(base);
    fs::create_directory(dir / "bin");

    std::string nodes = "<DNET_Net>";
    for (int i = 0; i < kNodes; ++i) {
        nodes += "<row ID=\"" + std::to_string(i % 64) +
                 "\" NB_IN=\"93\" NB_OUT=\"93\" Mnemonic=\"Node " + std::to_string(i + 1) + "\"/>";
    }
    writeFile(dir / "DNET_Net.xml", nodes + "</DNET_Net>");

    std::string map = "<InfoMod>";
    for (const char* list : {"Modbus_Read", "Modbus_Write"}) {
        map += std::string("<") + list + ">";
        for (int i = 0; i < kRowsPerMap; ++i) {
            const int high = i % 93 + 1;
            const int low = (i + 1) % 93 + 1;
            map += "<row Index=\"" + std::to_string(i) + "\" NrDNNode=\"" +
                   std::to_string(i % kNodes + 1) + "\" PosComp=\"" +
                   std::to_string(high * 65536 + low) + "\"/>";
        }
        map += std::string("</") + list + ">";
    }
    writeFile(dir / "DefReg.xml", map + "</InfoMod>");

    writeFile(dir / "pargen.xml",
              "<Par_Gen><DNET_DEV_ID>10</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud>"
              "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
              "<HW_Type>0</HW_Type></Par_Gen>");
    return dir;
}

// A project of 64 nodes whose DefReg.xml of about `bytes` bytes holds only rows of node 65.
fs::path makeProjectWithDroppedRows(std::size_t bytes) {
    const fs::path dir = makeMaximalProject();
    std::ofstream map(dir / "DefReg.xml", std::ios::binary);
    map << "<InfoMod><Modbus_Read>";
    std::size_t written = 0;
    for (int i = 0; written < bytes; ++i) {
        const std::string row = "<row Index=\"" + std::to_string(i % 65536) +
                                "\" NrDNNode=\"65\" PosComp=\"6094910\"/>";
        map << row;
        written += row.size();
    }
    map << "</Modbus_Read><Modbus_Write/></InfoMod>";
    return dir;
}

// The peak resident memory of a child process that composes `projectDir`, in MB; the child
// starts as a copy of this still small process.
double peakMegabytesComposing(const fs::path& projectDir) {
    const pid_t child = ::fork();
    if (child == 0) {
        velmora::ConfigImage image;
        try {
            velmora::ComposeConfigImage(image, projectDir);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(image.complete ? 0 : 1);
    }
    int status = 0;
    struct rusage usage {};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || status != 0) return -1;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

const fs::path& project() {
    static const fs::path dir = makeMaximalProject();
    return dir;
}

void BM_Compose(benchmark::State& state) {
    velmora::ConfigImage image;
    for (auto _ : state) {
        velmora::ComposeConfigImage(image, project());
        benchmark::DoNotOptimize(image.buffer.data());
    }
    state.counters["image_bytes"] = image.length;
}
BENCHMARK(BM_Compose)->Unit(benchmark::kMillisecond);

// The whole check of the same project: every document read as the dialogs and the composer
// read it, plus the composition itself.
void BM_CheckProject(benchmark::State& state) {
    std::size_t problems = 0;
    for (auto _ : state) {
        problems = velmora::checkProject(project()).size();
        benchmark::DoNotOptimize(problems);
    }
    state.counters["problems"] = static_cast<double>(problems);
}
BENCHMARK(BM_CheckProject)->Unit(benchmark::kMillisecond);

void BM_BareParse(benchmark::State& state) {
    const std::string files[] = {(project() / "DNET_Net.xml").string(),
                                 (project() / "DefReg.xml").string(),
                                 (project() / "pargen.xml").string()};
    for (auto _ : state) {
        for (const std::string& file : files) {
            // Through a descriptor: the composer's document layer replaces the entity loader
            // that xmlReadFile would open the file with.
            const int fd = ::open(file.c_str(), O_RDONLY);
            xmlDocPtr doc = xmlReadFd(fd, file.c_str(), nullptr, XML_PARSE_NONET);
            ::close(fd);
            if (doc == nullptr) {
                state.SkipWithError("parse failed");
                break;
            }
            benchmark::DoNotOptimize(doc);
            xmlFreeDoc(doc);
        }
    }
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond);

// The console report, remembering the mean real and CPU time of every benchmark for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Mean {
        double real = 0;
        double cpu = 0;
        int runs = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Mean& m = means_[run.run_name.function_name];
            m.real += (run.GetAdjustedRealTime() - m.real) / (m.runs + 1);
            m.cpu += (run.GetAdjustedCPUTime() - m.cpu) / (m.runs + 1);
            ++m.runs;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    Mean mean(const std::string& name) const {
        const auto it = means_.find(name);
        return it == means_.end() ? Mean{} : it->second;
    }

private:
    std::map<std::string, Mean> means_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    {
        const fs::path large = makeProjectWithDroppedRows(60'000'000);
        std::printf("peak memory composing with a %.0f MB DefReg.xml, rows all dropped: %.1f MB\n",
                    static_cast<double>(fs::file_size(large / "DefReg.xml")) / 1e6,
                    peakMegabytesComposing(large));
        fs::remove_all(large);
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto compose = reporter.mean("BM_Compose");
    const auto parse = reporter.mean("BM_BareParse");
    if (compose.runs > 0 && parse.runs > 0) {
        std::printf("real time: compose %.3f ms, bare parse %.3f ms, ratio %.2f\n", compose.real,
                    parse.real, compose.real / parse.real);
        std::printf("CPU time:  compose %.3f ms, bare parse %.3f ms, ratio %.2f\n", compose.cpu,
                    parse.cpu, compose.cpu / parse.cpu);
    }
    benchmark::Shutdown();
    fs::remove_all(project());
    return 0;
}
