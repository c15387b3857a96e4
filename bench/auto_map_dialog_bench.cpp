// "Auto Map…" of the register map dialog on the largest node list, 64 nodes of 455 bytes each way
// (29,120 registers), on the offscreen platform: the dialog shown on an empty map, the first
// node selected on both pages, then the auto map pressed and its result shown in the lists.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "auto_map_nodes.h"
#include "editors/auto_map_dialog.h"
#include "editors/register_map_dialog.h"
#include "ui/messages.h"

namespace {

namespace fs = std::filesystem;

class NoMessages : public velmora::ui::MessageSink {
public:
    void plain(const QString&) override {}
    void error(const QString&) override {}
    void failure(const QString&) override {}
};

velmora::ui::TFInfopdoMB* theDialog = nullptr;

void BM_AutoMapInTheDialog(benchmark::State& state) {
    velmora::ui::TFInfopdoMB& d = *theDialog;
    d.setModalRunner([&d](QDialog&) { d.FAutoMap->bitbtn1->click(); });
    for (auto _ : state) {
        state.PauseTiming();
        d.FormShow();
        d.LDNByteRead->setCurrentRow(0);
        d.LDNByteWrite->setCurrentRow(0);
        state.ResumeTiming();
        d.AutoMapA->click();
    }
    if (d.LIndMbNDRead->count() != 228 || d.LIndMbNDWrite->count() != 228) {
        state.SkipWithError("the lists do not show the result");
    }
}
BENCHMARK(BM_AutoMapInTheDialog)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path folder =
        fs::temp_directory_path() / ("velmora_auto_map_dialog_bench_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "DNET_Net.xml", std::ios::binary)
        << velmora::bench::autoMapNodesDocument();
    NoMessages messages;
    velmora::ui::TFInfopdoMB made([&] { return folder / "DNET_Net.xml"; },
                                  [&] { return folder / "DefReg.xml"; }, messages);
    theDialog = &made;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
