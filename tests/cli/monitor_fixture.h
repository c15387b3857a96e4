// The monitor's tests' project, simulator and gateway played on the far end of a line, shared by
// the tests of one poll and of runs that poll until stopped.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_process.h"
#include "cli/cli_run.h"
#include "image/example_project.h"
#include "modbus/adu.h"
#include "support/temp_dir.h"

namespace velmora::cli::test_monitor {

using test::Child;
using test::contentOf;
using test::LinePair;
using test::waitForText;
using Json = nlohmann::json;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Node 1 (ID 5, 3 bytes) and node 2 (ID 9, 7 bytes, the last carried by no register). Registers
// 0 to 2 form one run across both nodes, 3 and 4 are a gap, 5 and 6 the second run; register 1
// carries node 1's last byte alone, register 6 node 2's bytes 6 and 5 the other way round.
constexpr std::string_view kNodes =
    R"(<DNET_Net><row ID="5" NB_IN="2" NB_OUT="3" Mnemonic="Drive"/>)"
    R"(<row ID="9" NB_IN="2" NB_OUT="7" Mnemonic="Valves, left"/></DNET_Net>)";
constexpr std::string_view kMap =
    R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="65538"/>)"
    R"(<row Index="1" NrDNNode="1" PosComp="3"/><row Index="2" NrDNNode="2" PosComp="65538"/>)"
    R"(<row Index="5" NrDNNode="2" PosComp="196612"/><row Index="6" NrDNNode="2" PosComp="393221"/>)"
    R"(</Modbus_Read><Modbus_Write/></InfoMod>)";
// The same without register 1: the gateway of an older image, which refuses it.
constexpr std::string_view kMapWithoutRegister1 =
    R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="65538"/>)"
    R"(<row Index="2" NrDNNode="2" PosComp="65538"/>)"
    R"(<row Index="5" NrDNNode="2" PosComp="196612"/><row Index="6" NrDNNode="2" PosComp="393221"/>)"
    R"(</Modbus_Read><Modbus_Write/></InfoMod>)";
// 19200 baud, EVEN parity, Modbus ID 17, Modbus RTU (or Modbus ASCII with Ser_Prot 1).
inline std::string settings(int protocol = 0) {
    return "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>4</Ser_Baud>"
           "<Ser_Par>1</Ser_Par><Ser_ID>17</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>" +
           std::to_string(protocol) + "</Ser_Prot><HW_Type>0</HW_Type></Par_Gen>";
}
constexpr std::string_view kData =
    R"({"1": {"out": [17, 34, 51]}, "2": {"out": [1, 2, 3, 4, 5, 6, 7]}})";
// The bytes the monitor shows for kData: node 2's seventh byte is carried by no register.
inline const Json kShownBytes = Json::parse(R"([[17, 34, 51], [1, 2, 3, 4, 5, 6, null]])");

// The node bytes of a --json report, by node.
inline Json shownBytes(const Json& report) {
    Json bytes = Json::array();
    for (const Json& node : report.at("nodes")) bytes.push_back(node.at("bytes"));
    return bytes;
}

class Monitor : public ::testing::Test {
protected:
    Monitor() { writeProject(kMap, settings()); }
    void writeProject(std::string_view map, const std::string& pargen) {
        test::writeProject(dir.path(), kNodes, map, pargen);
        test::writeText(data(), kData);
    }
    fs::path data() const { return dir / "data.json"; }

    // Starts the simulator on TCP serving `project` and returns the port.
    int startTcp(const fs::path& project, const std::string& address = "127.0.0.1:0") {
        simulator = std::make_unique<Child>(
            std::vector<std::string>{VELMORA_CLI_PATH, "simulate", project.string(), "--tcp",
                                     address, "--data", data().string(), "--log",
                                     (dir / "sim.log").string()},
            dir / "sim-err.txt");
        const std::string first = simulator->line();
        const auto colon = first.rfind(':');
        EXPECT_NE(colon, std::string::npos) << first << contentOf(dir / "sim-err.txt");
        return colon == std::string::npos ? -1 : std::stoi(first.substr(colon + 1));
    }
    // Starts the simulator on a serial line end.
    void startSerial(const fs::path& device) {
        simulator = std::make_unique<Child>(
            std::vector<std::string>{VELMORA_CLI_PATH, "simulate", dir.path().string(), "--rtu",
                                     device.string(), "--data", data().string(), "--log",
                                     (dir / "sim.log").string()},
            dir / "sim-err.txt");
        EXPECT_EQ(simulator->line().rfind("listening on ", 0), 0u)
            << contentOf(dir / "sim-err.txt");
    }
    std::string tcp(int port) const { return "127.0.0.1:" + std::to_string(port); }

    // One poll with --json, parsed.
    Json pollJson(std::vector<std::string> args, int expectedStatus = kExitOk) {
        args.insert(args.begin(), {"monitor", dir.path().string()});
        args.insert(args.end(), {"--once", "--json"});
        const Outcome outcome = run(args);
        EXPECT_EQ(outcome.status, expectedStatus) << outcome.err;
        try {
            return Json::parse(outcome.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << outcome.out << outcome.err;
            return Json::object();
        }
    }

    test::TempDir dir;
    std::unique_ptr<Child> simulator;
};

// The far end of a line played by the test: it reads each RTU request and answers it as
// `answer` says (no bytes at all for an empty answer).
class FakeGateway {
public:
    using Answer = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)>;
    FakeGateway(const fs::path& device, Answer answer)
        : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY)), answer_(std::move(answer)) {
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        tio.c_cflag |= PARENB | CLOCAL | CREAD;
        ::cfsetspeed(&tio, B19200);
        ::tcsetattr(fd_, TCSANOW, &tio);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeGateway() {
        done_ = true;
        thread_.join();
        ::close(fd_);
    }
    FakeGateway(const FakeGateway&) = delete;
    FakeGateway& operator=(const FakeGateway&) = delete;

private:
    void serve() {
        std::vector<std::uint8_t> request;
        while (!done_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            std::uint8_t byte = 0;
            if (::read(fd_, &byte, 1) != 1) continue;
            request.push_back(byte);
            if (request.size() < 8) continue;  // a read request: unit, function, 4 bytes, CRC
            const std::vector<std::uint8_t> answer = answer_(request);
            if (!answer.empty() &&
                ::write(fd_, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) {
                ADD_FAILURE() << "the answer was not written";
            }
            request.clear();
        }
    }

    int fd_;
    Answer answer_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// The right answer to a read request of the test's map: register r holds 0x0100 * r + r.
inline std::vector<std::uint8_t> goodAnswer(const std::vector<std::uint8_t>& request,
                                            std::uint8_t unit = 17) {
    const int first = request[2] << 8 | request[3];
    const int count = request[4] << 8 | request[5];
    modbus::Adu adu{0, unit, {request[1], static_cast<std::uint8_t>(2 * count)}};
    for (int r = first; r < first + count; ++r) {
        adu.pdu.push_back(static_cast<std::uint8_t>(r));
        adu.pdu.push_back(static_cast<std::uint8_t>(r));
    }
    return modbus::encodeAdu(modbus::Framing::Rtu, adu);
}

}  // namespace velmora::cli::test_monitor
