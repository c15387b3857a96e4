// velmora-cli monitor against the project's own simulator (TCP, and RTU and ASCII lines over
// socat pseudo-terminal pairs), against a Modbus server nobody here wrote (pymodbus), and against
// a gateway that misbehaves on purpose, played by the test on the far end of a line.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/monitor_fixture.h"
#include "cli/monitor_report.h"

namespace velmora::cli {
namespace {

using namespace test_monitor;

TEST_F(Monitor, OverTcpTheBytesShownAreTheDataFilesBytes) {
    const int port = startTcp(dir.path());
    const Json report = pollJson({"--tcp", tcp(port)});
    EXPECT_EQ(shownBytes(report), kShownBytes) << report.dump();
    EXPECT_EQ(report.at("requests"), 2);  // 0..2 and 5..6: the gap is not asked for
    EXPECT_EQ(report.at("unit"), 17);
    EXPECT_EQ(report.at("errors"), Json::array());
    const Json& registers = report.at("registers");
    ASSERT_EQ(registers.size(), 5u);
    EXPECT_EQ(registers[1], Json::parse(R"({"register": 1, "node": 1, "node_id": 5,
        "mnemonic": "Drive", "high_byte": null, "low_byte": 3, "value": 51})"));
    EXPECT_EQ(registers[4].at("value"), 0x0605);

    // Input registers through function 4 read the same map.
    EXPECT_EQ(shownBytes(pollJson({"--tcp", tcp(port), "--function", "4"})), kShownBytes);

    // The text report: node bytes in hexadecimal, ".." for the byte no register carries.
    const Outcome text = run({"monitor", dir.path().string(), "--tcp", tcp(port), "--once"});
    EXPECT_EQ(text.status, kExitOk) << text.err;
    EXPECT_NE(text.out.find("   2    9  Valves, left          01 02 03 04 05 06 ..\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("       1     1    5  --             byte 3 = 33    0033\n"),
              std::string::npos)
        << text.out;
}

TEST_F(Monitor, ADataFileChangeAppearsAtTheNextPollInTheCsvLog) {
    const int port = startTcp(dir.path());
    const fs::path csv = dir / "log.csv";
    test::writeText(csv, "");  // an empty file gets the header too
    Child monitor({VELMORA_CLI_PATH, "monitor", dir.path().string(), "--tcp", tcp(port), "--csv",
                   csv.string(), "--interval", "100"},
                  dir / "monitor-err.txt");
    ASSERT_TRUE(waitForText(csv, ",6,2,9,\"Valves, left\",6,5,1541\r\n")) << contentOf(csv);
    test::writeText(data(), R"({"1": {"out": [17, 34, 51]}, "2": {"out": [1, 2, 3, 4, 9, 8]}})");
    ASSERT_TRUE(waitForText(csv, ",6,2,9,\"Valves, left\",6,5,2057\r\n")) << contentOf(csv);
    EXPECT_EQ(monitor.stop(SIGINT), 0) << contentOf(dir / "monitor-err.txt");

    // Parsed back: one header, then whole polls of five rows with every column.
    std::istringstream lines(contentOf(csv));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "time,register,node,node_id,mnemonic,high_byte,low_byte,value\r");
    std::size_t rows = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.back(), '\r');
        const std::vector<std::string> expectedStarts = {",0,1,5,Drive,1,2,", ",1,1,5,Drive,,3,",
                                                         ",2,2,9,", ",5,2,9,", ",6,2,9,"};
        EXPECT_NE(line.find(expectedStarts[rows % 5]), std::string::npos) << line;
        ++rows;
    }
    EXPECT_GE(rows, 10u);
    EXPECT_EQ(rows % 5, 0u);
}

TEST_F(Monitor, StoppedByASignalItPrintsASummary) {
    const int port = startTcp(dir.path());
    const fs::path csv = dir / "log.csv";
    Child monitor({VELMORA_CLI_PATH, "monitor", dir.path().string(), "--tcp", tcp(port), "--csv",
                   csv.string(), "--interval", "50"},
                  dir / "monitor-err.txt");
    ASSERT_TRUE(waitForText(csv, ",6,2,9,", 3));
    EXPECT_EQ(monitor.stop(SIGTERM), 0);
    // stop() reaped the child; its last line is in the pipe still.
    const std::string summary = monitor.line();
    EXPECT_NE(summary.find(" polls, "), std::string::npos) << summary;
    // The counts themselves depend on the machine's load; their words do not.
    for (const std::string words : {" requests; round trip median ", " timeout", " CRC/LRC error",
                                    " damaged answer", "; exceptions by code: "}) {
        EXPECT_NE(summary.find(words), std::string::npos) << words << "\n" << summary;
    }
    EXPECT_EQ(contentOf(dir / "monitor-err.txt"), "");
}

// A pseudo-terminal's end is opened once per pair: a second open after the first one's close
// does not keep the line settings on every kernel, so each run of the monitor gets a pair.
TEST_F(Monitor, OverRtuAndAsciiLinesTheBytesShownAreTheDataFilesBytes) {
    for (const int protocol : {0, 1}) {
        SCOPED_TRACE(protocol == 0 ? "RTU" : "ASCII");
        writeProject(kMap, settings(protocol));
        const fs::path lines = dir / ("lines" + std::to_string(protocol));
        fs::create_directories(lines / "once");
        fs::create_directories(lines / "log");
        {
            const LinePair line(lines / "once");
            startSerial(line.simulatorEnd);
            const Json report = pollJson({"--port", line.masterEnd.string()});
            EXPECT_EQ(shownBytes(report), kShownBytes) << report.dump();
            EXPECT_EQ(report.at("framing"), protocol == 0 ? "Modbus RTU" : "Modbus ASCII");
            simulator.reset();
        }

        // A change of the data file is seen by the next poll.
        const LinePair line(lines / "log");
        startSerial(line.simulatorEnd);
        const fs::path csv = lines / "log.csv";
        Child monitor({VELMORA_CLI_PATH, "monitor", dir.path().string(), "--port",
                       line.masterEnd.string(), "--csv", csv.string(), "--interval", "100"},
                      lines / "monitor-err.txt");
        ASSERT_TRUE(waitForText(csv, ",1,1,5,Drive,,3,51\r\n")) << contentOf(csv);
        test::writeText(data(), R"({"1": {"out": [0, 0, 99]}})");
        ASSERT_TRUE(waitForText(csv, ",1,1,5,Drive,,3,99\r\n"))
            << contentOf(csv) << contentOf(lines / "monitor-err.txt");
        EXPECT_EQ(monitor.stop(SIGINT), 0);
        simulator.reset();
        test::writeText(data(), kData);
    }
}

TEST_F(Monitor, ASilentUnitEndsTheRunWithTheLikelyCausesOnce) {
    const int port = startTcp(dir.path());
    const Outcome tcpSilence = run(
        {"monitor", dir.path().string(), "--tcp", tcp(port), "--unit", "3", "--timeout", "300"});
    EXPECT_EQ(tcpSilence.status, kExitFailure);
    EXPECT_EQ(tcpSilence.out, "");
    EXPECT_EQ(tcpSilence.err.rfind("velmora-cli: no answer from unit 3 on " + tcp(port) +
                                       " within 300 ms. Likely causes: ",
                                   0),
              0u)
        << tcpSilence.err;
    EXPECT_EQ(std::count(tcpSilence.err.begin(), tcpSilence.err.end(), '\n'), 1);

    // A line with nobody on its far end.
    const LinePair line(dir.path());
    const Outcome serialSilence = run(
        {"monitor", dir.path().string(), "--port", line.masterEnd.string(), "--timeout", "200"});
    EXPECT_EQ(serialSilence.status, kExitFailure);
    EXPECT_NE(serialSilence.err.find("no answer from unit 17 on " + line.masterEnd.string() +
                                     " within 200 ms. Likely causes: the baud rate or parity is "
                                     "not the gateway's (19200 baud, parity EVEN, 8 data bits, 1 "
                                     "stop bit here; --baud, --parity)"),
              std::string::npos)
        << serialSilence.err;
}

TEST_F(Monitor, AnExceptionOnOneRegisterOfARunIsToldAndTheRestStillShown) {
    // The gateway holds an older image, without register 1.
    const test::TempDir older;
    test::writeProject(older.path(), kNodes, kMapWithoutRegister1, settings());
    const int port = startTcp(older.path());
    const Json report = pollJson({"--tcp", tcp(port)}, kExitFailure);
    const Json refused = {
        {{"register", 1}, {"count", 1}, {"error", "exception 2 (illegal data address)"}}};
    EXPECT_EQ(report.at("errors"), refused);
    EXPECT_EQ(shownBytes(report), Json::parse("[[17, 34, null], [1, 2, 3, 4, 5, 6, null]]"));
    EXPECT_EQ(report.at("registers")[1].at("value"), nullptr);
    // The run 0..2 refused, then 0, 1 and 2 alone; then 5..6.
    EXPECT_EQ(report.at("requests"), 5);
    // Both unknown bytes are null; "carried" tells the refused register's byte (node 1's third)
    // from the one no register carries (node 2's seventh).
    EXPECT_EQ(report.at("nodes")[0].at("carried"), Json::parse("[true, true, true]"));
    EXPECT_EQ(report.at("nodes")[1].at("carried"),
              Json::parse("[true, true, true, true, true, true, false]"));
}

TEST_F(Monitor, WithJsonAFailureIsAnErrorObjectOnStandardOutput) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string error;
    };
    const std::string project = dir.path().string();
    const std::vector<Case> cases = {
        {{"monitor", project, "--json"}, kExitUsage, "missing --port DEVICE or --tcp HOST[:PORT]"},
        {{"monitor", (dir / "none").string(), "--tcp", "h", "--json"},
         kExitFailure,
         "not a project folder: " + (dir / "none").string()},
        {{"monitor", project, "--tcp", "127.0.0.1:1", "--once", "--json"},
         kExitFailure,
         "Cannot connect to 127.0.0.1:1: Connection refused"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = run(c.args);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_EQ(Json::parse(outcome.out), (Json{{"error", c.error}})) << outcome.out;
        EXPECT_NE(outcome.err.find(c.error), std::string::npos) << outcome.err;
    }
    // The silence, told on standard error with its likely causes, is the same text in JSON.
    const int port = startTcp(dir.path());
    const Outcome silence = run({"monitor", project, "--tcp", tcp(port), "--unit", "3", "--timeout",
                                 "200", "--once", "--json"});
    EXPECT_EQ(silence.status, kExitFailure);
    const std::string told = Json::parse(silence.out).at("error");
    EXPECT_EQ(told.rfind("no answer from unit 3 on " + tcp(port) + " within 200 ms. Likely", 0),
              0u);
    EXPECT_EQ(silence.err, "velmora-cli: " + told + "\n");
}

TEST_F(Monitor, RefusesWhatItCannotUse) {
    const LinePair line(dir.path());
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string project = dir.path().string();
    const std::vector<Case> cases = {
        {{"monitor", project}, kExitUsage, "missing --port DEVICE or --tcp HOST[:PORT]"},
        {{"monitor", project, "--tcp", "h:1", "--port", "p"},
         kExitUsage,
         "give --port or --tcp, not both"},
        {{"monitor", project, "--tcp", "h:99999"},
         kExitUsage,
         "'h:99999' is not HOST or HOST:PORT with a port from 1 to 65535"},
        {{"monitor", project, "--tcp", "h", "--baud", "9600"},
         kExitUsage,
         "--baud and --parity set a serial port: they go with --port"},
        {{"monitor", project, "--tcp", "h", "--function", "6"},
         kExitUsage,
         "'6' is not a number from 3 to 4 for --function"},
        {{"monitor", project, "--tcp", "h", "--changes"},
         kExitUsage,
         "--changes sets what the log holds: it goes with --csv"},
        {{"monitor", project, "--port", "p", "--parity", "mark"},
         kExitUsage,
         "'mark' is not a parity (none, even or odd)"},
        {{"monitor", project, "--port", (dir / "none").string()},
         kExitFailure,
         "Cannot open " + (dir / "none").string() + ": No such file or directory"},
        {{"monitor", project, "--tcp", "127.0.0.1:1"},
         kExitFailure,
         "Cannot connect to 127.0.0.1:1: Connection refused"},
        {{"monitor", (dir / "none").string(), "--tcp", "h"},
         kExitFailure,
         "not a project folder: " + (dir / "none").string()},
    };
    for (const Case& c : cases) {
        const Outcome outcome = run(c.args);
        EXPECT_EQ(outcome.status, c.status) << c.err << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(c.err), std::string::npos) << outcome.err;
    }

    // A port another program holds is refused with the system's reason, not shared.
    Child holder({VELMORA_CLI_PATH, "simulate", project, "--rtu", line.masterEnd.string()},
                 dir / "holder-err.txt");
    EXPECT_EQ(holder.line().rfind("listening on ", 0), 0u);
    const Outcome busy = run({"monitor", project, "--port", line.masterEnd.string()});
    EXPECT_EQ(busy.status, kExitFailure);
    EXPECT_NE(busy.err.find("Cannot open " + line.masterEnd.string() + ": "), std::string::npos)
        << busy.err;
}

TEST_F(Monitor, DamagedAnswersOnTheLineAreToldAndTheOtherRunStillShown) {
    struct Case {
        std::string name;
        std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)> spoil;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"wrong unit", [](const auto& request) { return goodAnswer(request, 5); },
         "an answer from unit 5, not unit 17"},
        {"truncated",
         [](const auto& request) {
             std::vector<std::uint8_t> answer = goodAnswer(request);
             answer.resize(6);
             return answer;
         },
         "an answer cut short (6 of 11 bytes)"},
        {"CRC error",
         [](const auto& request) {
             std::vector<std::uint8_t> answer = goodAnswer(request);
             answer[4] ^= 0x40;  // a bit flipped on the line
             return answer;
         },
         "bad CRC"},
        {"wrong function",
         [](const auto&) {
             std::vector<std::uint8_t> pdu = {4, 2, 0, 0};
             return modbus::encodeAdu(modbus::Framing::Rtu, modbus::Adu{0, 17, pdu});
         },
         "an answer with function 4 to function 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = dir / c.name;
        fs::create_directories(folder);
        const LinePair line(folder);
        // The first run (registers 0 to 2) is spoilt, the second answered as it should be.
        const FakeGateway gateway(line.simulatorEnd, [&](const std::vector<std::uint8_t>& request) {
            return request[3] == 0 ? c.spoil(request) : goodAnswer(request);
        });
        const Json report =
            pollJson({"--port", line.masterEnd.string(), "--timeout", "300"}, kExitFailure);
        EXPECT_EQ(report.at("errors"),
                  Json::parse(R"([{"register": 0, "count": 3, "error": ")" + c.error + "\"}]"))
            << report.dump();
        EXPECT_EQ(report.at("registers")[3].at("value"), 0x0505);
        EXPECT_EQ(report.at("registers")[4].at("value"), 0x0606);
    }
}

// A Modbus TCP server nobody here wrote: pymodbus, serving known holding registers for unit 17.
TEST_F(Monitor, DecodesAnotherImplementationsAnswersAlike) {
    if (::access("/usr/bin/python3", X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import pymodbus.server' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3-pymodbus is not installed (scripts/setup.sh installs it)";
    }
    // A free port: taken, read and given back for the server.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    const int port = ntohs(address.sin_port);
    ::close(probe);

    const std::string script =
        "import sys\n"
        "from pymodbus.server import StartTcpServer\n"
        "from pymodbus.datastore import ModbusSequentialDataBlock, ModbusSlaveContext, "
        "ModbusServerContext\n"
        "values = [0x1122, 0x0033, 0x0102, 0xDEAD, 0xBEEF, 0x0304, 0x0605]\n"
        "store = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, values), zero_mode=True)\n"
        "StartTcpServer(context=ModbusServerContext(slaves={17: store}, single=False),\n"
        "               address=('127.0.0.1', int(sys.argv[1])))\n";
    test::writeText(dir / "server.py", script);
    Child server({"/usr/bin/python3", (dir / "server.py").string(), std::to_string(port)},
                 dir / "server-err.txt");
    Outcome outcome{};
    for (int i = 0; i < 100; ++i) {
        outcome = run({"monitor", dir.path().string(), "--tcp", tcp(port), "--once", "--json"});
        if (outcome.err.find("Cannot connect") == std::string::npos) break;
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(outcome.status, kExitOk) << outcome.err << contentOf(dir / "server-err.txt");
    const Json report = Json::parse(outcome.out);
    EXPECT_EQ(shownBytes(report), Json::parse(R"([[17, 34, 51], [1, 2, 3, 4, 5, 6, null]])"));
}

// The live table highlights exactly the node bytes that changed since the last poll.
TEST(MonitorTable, BytesChangedSinceTheLastPollAreHighlighted) {
    std::vector<DeviceNode> nodes(2);
    nodes[0].id = 5;
    nodes[0].bytesOut = 3;
    nodes[0].mnemonic = "Drive";
    nodes[1].id = 9;
    nodes[1].bytesOut = 2;
    const std::vector<DecodedRegister> map = {{0, 0x10002, 0}, {1, 3, 0}, {2, 0x10002, 1}};
    const modbus::PollPlan plan = modbus::planPoll(map);
    const MonitorView view{nodes, plan, "127.0.0.1:502", "Modbus TCP", 17, 3};
    PollResult first;
    first.values = {0x1122, 0x0033, 0x0102};
    PollResult second;
    second.values = {0x1123, 0x0033, std::nullopt};
    const auto lines = liveTable(view, second, pollNodeBytes(view, first));
    ASSERT_GE(lines.size(), 4u);
    const ScreenLine& drive = lines[2];
    EXPECT_EQ(drive.text, "   1    5  Drive                 11 23 33");
    ASSERT_EQ(drive.highlights.size(), 1u);
    EXPECT_EQ(drive.text.substr(drive.highlights[0].first,
                                drive.highlights[0].second - drive.highlights[0].first),
              "23");
    // Node 2's register did not read: its bytes are unknown, not changed.
    EXPECT_EQ(lines[3].text, "   2    9                        ?? ??");
    EXPECT_TRUE(lines[3].highlights.empty());
}

// A node of 300 bytes: register 50 carries its bytes 101 (high) and 102 (low), register 51 its
// byte 300 alone.
struct WideNode {
    std::vector<DeviceNode> nodes = std::vector<DeviceNode>(1);
    modbus::PollPlan plan;
    WideNode() {
        nodes[0].id = 7;
        nodes[0].bytesOut = 300;
        nodes[0].mnemonic = "Wide";
        const std::vector<DecodedRegister> map = {{50, 101 * 0x10000 + 102, 0}, {51, 300, 0}};
        plan = modbus::planPoll(map);
    }
    MonitorView view() const { return {nodes, plan, "127.0.0.1:502", "Modbus TCP", 1, 3}; }
};

TEST(MonitorTable, ThreeDigitByteNumbersStayInTheirColumns) {
    const WideNode wide;
    PollResult poll;
    poll.values = {0xBFC6, 0x0012};
    std::ostringstream text;
    writePollText(wide.view(), poll, text);
    EXPECT_NE(text.str().find("register  node   ID  high           low            value\n"
                              "      50     1    7  byte 101 = BF  byte 102 = C6  BFC6\n"
                              "      51     1    7  --             byte 300 = 12  0012\n"),
              std::string::npos)
        << text.str();
}

// Scrolled sideways, a node's bytes move under the ruler while its number, ID and mnemonic stay.
TEST(MonitorTable, ALongNodeScrollsSidewaysUnderARulerOfItsBytes) {
    const WideNode wide;
    PollResult first;
    first.values = {0xBFC6, 0x0012};
    PollResult second;
    second.values = {0xBFC7, 0x0012};
    const auto lines = liveTable(wide.view(), second, pollNodeBytes(wide.view(), first));
    ASSERT_GE(lines.size(), 3u);
    const ScreenLine& ruler = lines[1];
    const ScreenLine& node = lines[2];
    const std::size_t lead = std::string("   1    7  Wide                  ").size();
    EXPECT_EQ(node.fixed, lead);
    EXPECT_EQ(ruler.fixed, lead);
    EXPECT_EQ(ruler.text.substr(0, lead), "node   ID  mnemonic        bytes ");
    // Byte 97 is the thirteenth ruled byte: its number stands above its cell.
    EXPECT_EQ(ruler.text.substr(lead + 3 * 96, 3), "97 ");
    EXPECT_EQ(node.text.substr(lead + 3 * 96, 20), ".. .. .. .. BF C7 ..");

    // Twelve steps of eight bytes to the right: byte 97 first after the lead.
    const ScreenLine shifted = scrolledSideways(node, 3 * 96);
    EXPECT_EQ(shifted.text, "   1    7  Wide                  .. .. .. .. BF C7 " +
                                node.text.substr(lead + 3 * 102));
    EXPECT_EQ(scrolledSideways(ruler, 3 * 96).text.substr(lead, 3), "97 ");
    ASSERT_EQ(shifted.highlights.size(), 1u);  // byte 102 changed
    EXPECT_EQ(shifted.text.substr(shifted.highlights[0].first, 2), "C7");
    // Scrolled past the change, its highlight goes with it; the heading never moves.
    EXPECT_TRUE(scrolledSideways(node, 3 * 200).highlights.empty());
    EXPECT_EQ(scrolledSideways(lines[0], 3 * 96).text, lines[0].text);
}

TEST(MonitorHelp, CommandIsListedAndExplained) {
    const Outcome main = run({"--help"});
    EXPECT_NE(main.out.find("  monitor PROJECT_DIR (--port DEVICE | --tcp HOST[:PORT])\n"),
              std::string::npos);
    const Outcome help = run({"help", "monitor"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_EQ(help.out.rfind("Usage: velmora-cli monitor PROJECT_DIR", 0), 0u);
    EXPECT_NE(help.out.find("never writes a register"), std::string::npos);
}

}  // namespace
}  // namespace velmora::cli
