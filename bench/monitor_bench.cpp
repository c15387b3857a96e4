// One poll of the monitor over Modbus TCP on loopback, against `velmora-cli simulate` serving the
// largest read map an image holds: 14,000 registers of 64 nodes at consecutive indexes (112
// requests of at most 125 registers), and for comparison 7,000 registers at every other index,
// where no two registers can share a request. The figure to watch is the first one beside the
// default poll interval of 500 ms. Then the CSV log of such a poll, with and without --changes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "cli/monitor_poll.h"
#include "cli/monitor_report.h"
#include "image/device_map.h"
#include "modbus/poll_plan.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kNodes = 64;
constexpr int kBytesPerNode = 93;

// A project whose read map holds `registers` rows at indexes 0, step, 2 × step ...; served by the
// simulator for as long as it lives.
class ServedProject {
public:
    ServedProject(int registers, int step) {
        dir_ = fs::temp_directory_path() /
               ("velmora-monitor-bench-" + std::to_string(::getpid()) + "-" + std::to_string(step));
        fs::create_directories(dir_ / "bin");
        std::ofstream(dir_ / "pargen.xml")
            << "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</"
               "Ser_Baud>"
               "<Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot>"
               "<HW_Type>0</HW_Type></Par_Gen>";
        std::string nodes = "<DNET_Net>";
        for (int n = 0; n < kNodes; ++n) {
            nodes += "<row ID=\"" + std::to_string(n) + "\" NB_IN=\"1\" NB_OUT=\"" +
                     std::to_string(kBytesPerNode) + "\" Mnemonic=\"\"/>";
        }
        std::ofstream(dir_ / "DNET_Net.xml") << nodes << "</DNET_Net>";
        std::string map = "<InfoMod><Modbus_Read>";
        for (int r = 0; r < registers; ++r) {
            const int high = r % kBytesPerNode + 1;
            const int low = (r + 1) % kBytesPerNode + 1;
            map += "<row Index=\"" + std::to_string(r * step) + "\" NrDNNode=\"" +
                   std::to_string(r % kNodes + 1) + "\" PosComp=\"" +
                   std::to_string(high * 65536 + low) + "\"/>";
        }
        std::ofstream(dir_ / "DefReg.xml") << map << "</Modbus_Read><Modbus_Write/></InfoMod>";
        simulator_ = std::make_unique<velmora::test::Child>(
            std::vector<std::string>{VELMORA_CLI_PATH, "simulate", dir_.string(), "--tcp",
                                     "127.0.0.1:0", "--log", (dir_ / "log").string()},
            dir_ / "err");
        const std::string first = simulator_->line();
        port_ = first.substr(first.rfind(':') + 1);
    }
    ~ServedProject() {
        simulator_.reset();
        fs::remove_all(dir_);
    }
    const fs::path& dir() const { return dir_; }
    const std::string& port() const { return port_; }

private:
    fs::path dir_;
    std::unique_ptr<velmora::test::Child> simulator_;
    std::string port_;
};

// state.range(0): the index step (1: 14,000 consecutive registers; 2: 7,000 at every other one).
void BM_OnePollOverTcpLoopback(benchmark::State& state) {
    const int step = static_cast<int>(state.range(0));
    const ServedProject project(step == 1 ? 14000 : 7000, step);
    const velmora::DeviceMap map = velmora::readDeviceMap(project.dir());
    velmora::cli::LinkTarget target;
    target.tcpHost = "127.0.0.1";
    target.tcpPort = project.port();
    velmora::cli::GatewayLink link(target, 1000ms);
    velmora::cli::Poller poller(link, velmora::modbus::planPoll(map.readMap), 1, 3, 1000ms);
    std::size_t requests = 0;
    for (auto _ : state) {
        const velmora::cli::PollResult poll = poller.poll();
        if (!poll.problems.empty()) {
            state.SkipWithError(poll.problems.front().text.c_str());
            break;
        }
        requests = poll.requests;
    }
    state.counters["registers"] = static_cast<double>(poller.plan().registers.size());
    state.counters["requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_OnePollOverTcpLoopback)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The CSV log of one poll of 14,000 registers at consecutive indexes, and what a day of polls
// every 500 ms writes: every row (state.range(0) == 0), or with --changes only the rows of the
// values that changed since the poll before (one register in a hundred here).
void BM_CsvLogOfOnePoll(benchmark::State& state) {
    const bool changesOnly = state.range(0) == 1;
    std::vector<velmora::DeviceNode> nodes(kNodes);
    for (int n = 0; n < kNodes; ++n) {
        nodes[static_cast<std::size_t>(n)].id = n;
        nodes[static_cast<std::size_t>(n)].bytesOut = kBytesPerNode;
        nodes[static_cast<std::size_t>(n)].mnemonic = "Node " + std::to_string(n);
    }
    std::vector<velmora::DecodedRegister> map;
    for (int r = 0; r < 14000; ++r) {
        const int high = r % kBytesPerNode + 1;
        const int low = (r + 1) % kBytesPerNode + 1;
        map.push_back({static_cast<std::uint16_t>(r), high * 65536 + low,
                       static_cast<std::uint8_t>(r % kNodes)});
    }
    const velmora::modbus::PollPlan plan = velmora::modbus::planPoll(map);
    const velmora::cli::MonitorView view{nodes, plan, "127.0.0.1:502", "Modbus TCP", 1, 3};
    velmora::cli::PollResult poll;
    poll.time = std::chrono::system_clock::now();
    poll.values.assign(plan.registers.size(), std::uint16_t{0});
    velmora::modbus::RegisterValues previous = poll.values;
    std::size_t bytes = 0;
    std::uint16_t step = 0;
    for (auto _ : state) {
        ++step;
        for (std::size_t i = step % 100; i < poll.values.size(); i += 100) poll.values[i] = step;
        std::ostringstream out;
        velmora::cli::writePollCsv(view, poll, out, changesOnly ? &previous : nullptr);
        previous = poll.values;
        bytes = out.str().size();
    }
    state.counters["bytes_per_poll"] = static_cast<double>(bytes);
    state.counters["GB_per_day"] = static_cast<double>(bytes) * 2 * 86400 / 1e9;
}
BENCHMARK(BM_CsvLogOfOnePoll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
