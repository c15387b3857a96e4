// What the tests of the simulator as a process share: the project they serve, a libmodbus
// client, and the fixture that starts the simulator with its data, log and standard error in a
// folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_process.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora::cli::simulator_test {

using test::Child;
using test::contentOf;
namespace fs = std::filesystem;

// The example project's nodes with a fuller map: read registers 0, 1, 2, 3 and 5 (4 is a gap; the
// example's row 7 names node 3 of 2 and is dropped), write registers 100 to 102.
constexpr std::string_view kMap =
    R"(<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="0"/>)"
    R"(<row Index="1" NrDNNode="1" PosComp="65538"/><row Index="2" NrDNNode="2" PosComp="196612"/>)"
    R"(<row Index="3" NrDNNode="2" PosComp="6"/><row Index="5" NrDNNode="2" PosComp="131072"/>)"
    R"(<row Index="7" NrDNNode="3" PosComp="3"/></Modbus_Read><Modbus_Write>)"
    R"(<row Index="100" NrDNNode="2" PosComp="2"/><row Index="101" NrDNNode="2" PosComp="196612"/>)"
    R"(<row Index="102" NrDNNode="1" PosComp="262145"/></Modbus_Write></InfoMod>)";
// 19200 baud, EVEN parity (or none with Ser_Par 0), Modbus ID 17, Modbus RTU (or Modbus ASCII
// with Ser_Prot 1).
inline std::string settings(int protocol = 0, int parity = 1) {
    return "<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>4</Ser_Baud>"
           "<Ser_Par>" +
           std::to_string(parity) +
           "</Ser_Par><Ser_ID>17</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>" +
           std::to_string(protocol) + "</Ser_Prot><HW_Type>0</HW_Type></Par_Gen>";
}
constexpr std::string_view kData = R"({"1": {"out": [17, 34]}, "2": {"out": [1, 2, 3, 4, 5, 6]}})";
constexpr int kUnit = 17;

struct ModbusFree {
    void operator()(modbus_t* ctx) const {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Client = std::unique_ptr<modbus_t, ModbusFree>;

inline Client tcpClient(int port, int unit) {
    Client ctx(modbus_new_tcp("127.0.0.1", port));
    modbus_set_slave(ctx.get(), unit);
    modbus_set_response_timeout(ctx.get(), 2, 0);
    EXPECT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
    return ctx;
}

// Reads `count` holding (or input) registers from `first`; empty with errno set on failure.
inline std::vector<std::uint16_t> readRegisters(modbus_t* ctx, int first, int count,
                                                bool input = false) {
    std::vector<std::uint16_t> values(static_cast<std::size_t>(count));
    const int rc = input ? modbus_read_input_registers(ctx, first, count, values.data())
                         : modbus_read_registers(ctx, first, count, values.data());
    if (rc != count) values.clear();
    return values;
}

class Simulate : public ::testing::Test {
protected:
    Simulate() {
        test::writeProject(dir.path(), test::kExampleNodes, kMap, settings());
        test::writeText(data(), kData);
    }
    fs::path data() const { return dir / "data.json"; }
    fs::path log() const { return dir / "sim.log"; }
    fs::path errors() const { return dir / "stderr.txt"; }

    // Starts the simulator on TCP (any free port) and returns the port.
    int startTcp(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> argv{VELMORA_CLI_PATH, "simulate",    dir.path().string(),
                                      "--tcp",          "127.0.0.1:0", "--data",
                                      data().string(),  "--log",       log().string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        child = std::make_unique<Child>(argv, errors());
        const std::string first = child->line();
        const std::string lead = "listening on 127.0.0.1:";
        EXPECT_EQ(first.rfind(lead, 0), 0u) << first << contentOf(errors());
        return first.rfind(lead, 0) == 0 ? std::stoi(first.substr(lead.size())) : -1;
    }

    test::TempDir dir;
    std::unique_ptr<Child> child;
};

}  // namespace velmora::cli::simulator_test
