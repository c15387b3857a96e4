// The register map dialog on the largest map: 64 DeviceNet nodes and 14,000 registers (7,000 in
// each map), the first node holding 500 read registers. Figures: opening the dialog (load and
// node lists), selecting that node, and OK (the save).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/messages.h"
#include "documents/register_map.h"
#include "editors/register_map_dialog.h"

namespace {

constexpr int kNodes = 64;
constexpr int kRegistersPerMap = 7000;
constexpr int kRegistersOnFirstNode = 500;
constexpr int kBytesPerNode = 93;  // 64 × 93 = 5952, within the 6000-byte sums

// Every message is dropped: the figures are about the dialog's own work.
class NoMessages : public velmora::ui::MessageSink {
public:
    void plain(const QString&) override {}
    void error(const QString&) override {}
    void failure(const QString&) override {}
};

struct Files {
    std::filesystem::path folder;
    std::filesystem::path dnet;
    std::filesystem::path defReg;
};

const Files& files() {
    static const Files f = [] {
        Files made;
        made.folder = std::filesystem::temp_directory_path() /
                      ("velmora_register_map_dialog_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(made.folder);
        made.dnet = made.folder / "DNET_Net.xml";
        made.defReg = made.folder / "DefReg.xml";

        const std::string bytes = std::to_string(kBytesPerNode);
        std::string dnet = "<DNET_Net>";
        velmora::RegisterMap map;
        velmora::DNNodeLists& lists = map.nodeLists.emplace();
        for (int n = 0; n < kNodes; ++n) {
            dnet += "<row ID=\"" + std::to_string(n) + "\" NB_IN=\"" + bytes + "\" NB_OUT=\"" +
                    bytes + "\" Mnemonic=\"Node" + std::to_string(n) + "\"/>";
            lists.DNNodeListRead.push_back({n, n + 1, std::to_string(n), bytes, kBytesPerNode, {}});
            lists.DNNodeListWrite.push_back(
                {n, n + 1, std::to_string(n), bytes, kBytesPerNode, {}});
        }
        std::ofstream(made.dnet, std::ios::binary) << dnet << "</DNET_Net>";

        for (int i = 0; i < kRegistersPerMap; ++i) {
            const int high = 1 + i % kBytesPerNode;
            const int low = 1 + (i + 1) % kBytesPerNode;
            const velmora::TClIndMB entry(std::to_string(i),
                                          std::to_string(velmora::PackPosComp(high, low)));
            const auto readNode = static_cast<std::size_t>(
                i < kRegistersOnFirstNode ? 0 : 1 + (i * 37) % (kNodes - 1));
            lists.DNNodeListRead[readNode].appendEntry(entry);
            lists.DNNodeListWrite[static_cast<std::size_t>((i * 37) % kNodes)].appendEntry(entry);
        }
        velmora::SaveRegisterMap(map, made.defReg);
        return made;
    }();
    return f;
}

// Made by main() inside the application's lifetime.
velmora::ui::TFInfopdoMB* theDialog = nullptr;

velmora::ui::TFInfopdoMB& dialog() { return *theDialog; }

void BM_OpenDialog(benchmark::State& state) {
    for (auto _ : state) dialog().FormShow();
}
BENCHMARK(BM_OpenDialog)->Unit(benchmark::kMillisecond);

void BM_SelectNodeWith500Registers(benchmark::State& state) {
    velmora::ui::TFInfopdoMB& d = dialog();
    d.FormShow();
    for (auto _ : state) {
        d.LDNByteRead->setCurrentRow(1);
        d.LDNByteRead->setCurrentRow(0);  // the node of 500 registers
    }
    if (d.LIndMbNDRead->count() != kRegistersOnFirstNode) state.SkipWithError("wrong node");
}
BENCHMARK(BM_SelectNodeWith500Registers)->Unit(benchmark::kMillisecond);

void BM_Ok(benchmark::State& state) {
    velmora::ui::TFInfopdoMB& d = dialog();
    d.FormShow();
    for (auto _ : state) d.bitbtn1Click();
}
BENCHMARK(BM_Ok)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    NoMessages messages;
    velmora::ui::TFInfopdoMB made([] { return files().dnet; }, [] { return files().defReg; },
                                  messages);
    theDialog = &made;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(files().folder, ignored);
    return 0;
}
