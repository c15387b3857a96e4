// The register map dialog on the largest map: 64 DeviceNet nodes and 14,000 registers (7,000 in
// each map), the first node holding 500 read registers. Figures: opening the dialog (load and
// node lists), selecting that node, and OK (the save).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>
#include <filesystem>

#include "editors/register_map_dialog.h"
#include "large_register_map.h"
#include "ui/messages.h"

namespace {

constexpr int kRegistersOnFirstNode = 500;

// Every message is dropped: the figures are about the dialog's own work.
class NoMessages : public velmora::ui::MessageSink {
public:
    void plain(const QString&) override {}
    void error(const QString&) override {}
    void failure(const QString&) override {}
};

const velmora::bench::LargeMapFiles& files() {
    static const velmora::bench::LargeMapFiles made =
        velmora::bench::writeLargeMap("register_map_dialog_bench", kRegistersOnFirstNode);
    return made;
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
    return velmora::bench::runBenchmarks(argc, argv, files);
}
