// The simulator as a process, driven by Modbus clients written elsewhere: libmodbus's own client,
// mbpoll, raw sockets, and RTU and ASCII lines over pseudo-terminal pairs made by socat.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_process.h"
#include "cli/cli_run.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora::cli {
namespace {

using test::Child;
using test::contentOf;
using test::countIn;
using test::LinePair;
using test::waitForText;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
std::string settings(int protocol = 0, int parity = 1) {
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

Client tcpClient(int port, int unit) {
    Client ctx(modbus_new_tcp("127.0.0.1", port));
    modbus_set_slave(ctx.get(), unit);
    modbus_set_response_timeout(ctx.get(), 2, 0);
    EXPECT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
    return ctx;
}

// Reads `count` holding (or input) registers from `first`; empty with errno set on failure.
std::vector<std::uint16_t> readRegisters(modbus_t* ctx, int first, int count, bool input = false) {
    std::vector<std::uint16_t> values(static_cast<std::size_t>(count));
    const int rc = input ? modbus_read_input_registers(ctx, first, count, values.data())
                         : modbus_read_registers(ctx, first, count, values.data());
    if (rc != count) values.clear();
    return values;
}

// Runs `command` through the shell and returns its standard output.
std::string shellOutput(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    if (pipe) ::pclose(pipe);
    return text;
}

// A TCP connection made by hand, to send any bytes, half frames too.
class RawConnection {
public:
    // `receiveBuffer`, when given, shrinks this end's receive window.
    explicit RawConnection(int port, int receiveBuffer = 0)
        : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~RawConnection() { ::close(fd_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    void send(const std::vector<std::uint8_t>& bytes) {
        EXPECT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
    // Sends what the socket takes within 5 s; false once the simulator has closed it.
    bool offer(const std::vector<std::uint8_t>& bytes) {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 5000) <= 0 || (p.revents & (POLLERR | POLLHUP)) != 0) return false;
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0 ||
               errno == EAGAIN;
    }
    // Up to `count` bytes arriving within 10 s; fewer when the simulator closed the connection.
    std::vector<std::uint8_t> receive(std::size_t count) {
        std::vector<std::uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd p{fd_, POLLIN, 0};
            std::uint8_t b[256];
            if (::poll(&p, 1, 10000) <= 0) break;
            const ssize_t n = ::recv(fd_, b, std::min(sizeof b, count - bytes.size()), 0);
            if (n <= 0) break;
            bytes.insert(bytes.end(), b, b + n);
        }
        return bytes;
    }
    // True when the simulator closes the connection within 10 s.
    bool closedBySimulator() {
        pollfd p{fd_, POLLIN, 0};
        std::uint8_t b;
        return ::poll(&p, 1, 10000) == 1 && ::recv(fd_, &b, 1, 0) <= 0;
    }
    // "127.0.0.1:PORT" of this end, as the simulator names it.
    std::string address() const { return localAddress(fd_); }

    static std::string localAddress(int fd) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }

private:
    int fd_;
};

// Read holding register `first` (count 1) of unit 17, and its answer, behind an MBAP header.
std::vector<std::uint8_t> tcpRead(std::uint8_t transaction, std::uint8_t first) {
    return {0, transaction, 0, 0, 0, 6, kUnit, 3, 0, first, 0, 1};
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

TEST_F(Simulate, LibmodbusClientReadsTheMapFromTheDataFile) {
    const int port = startTcp();
    const Client client = tcpClient(port, kUnit);
    EXPECT_EQ(readRegisters(client.get(), 0, 4),
              (std::vector<std::uint16_t>{0, 0x1122, 0x0304, 6}));
    EXPECT_EQ(readRegisters(client.get(), 5, 1, true), std::vector<std::uint16_t>{0x0200});
    EXPECT_TRUE(waitForText(log(), "serving 5 read and 3 write registers as Modbus ID 17\n"));
    EXPECT_EQ(countIn(log(), " data read from " + data().string() + "\n"), 1u) << contentOf(log());

    // Register 4 is a gap and register 7 was dropped with its node: exception 2.
    for (const auto& [first, count] : {std::pair{3, 3}, std::pair{7, 1}}) {
        EXPECT_TRUE(readRegisters(client.get(), first, count).empty());
        EXPECT_EQ(errno, EMBXILADD) << first;
    }
    std::uint8_t coils[1];
    EXPECT_EQ(modbus_read_bits(client.get(), 0, 1, coils), -1);
    EXPECT_EQ(errno, EMBXILFUN);

    // The data file is read again when it changes; a bad one leaves the data as they were.
    test::writeText(data(), R"({"2": {"out": [0, 0, 9, 8]}})");
    EXPECT_TRUE(waitForText(log(), "data read from " + data().string(), 2));
    EXPECT_EQ(readRegisters(client.get(), 1, 2), (std::vector<std::uint16_t>{0, 0x0908}));
    test::writeText(data(), R"({"2": {"out": [0, 0, 9, 256]}})");
    EXPECT_TRUE(waitForText(errors(), data().string() +
                                          ": /2/out/3: 256 is not a byte (0 to 255) (the "
                                          "previous data stay)"));
    EXPECT_EQ(readRegisters(client.get(), 2, 1), std::vector<std::uint16_t>{0x0908});
    EXPECT_EQ(child->stop(SIGTERM), 0);
    EXPECT_TRUE(waitForText(log(), "stopped"));
}

TEST_F(Simulate, WritesThroughFunctionCodes6And16AreLoggedWithTheirNodeBytes) {
    const int port = startTcp();
    const Client client = tcpClient(port, kUnit);
    EXPECT_EQ(modbus_write_register(client.get(), 101, 0x1234), 1) << modbus_strerror(errno);
    const std::uint16_t values[] = {0x00AB, 0x5678, 0x0102};
    EXPECT_EQ(modbus_write_registers(client.get(), 100, 3, values), 3) << modbus_strerror(errno);
    EXPECT_EQ(modbus_write_register(client.get(), 1, 7), -1);  // read map only
    EXPECT_EQ(errno, EMBXILADD);
    EXPECT_EQ(child->stop(SIGINT), 0);

    const std::string text = contentOf(log());
    for (const std::string line :
         {"register 101 = 4660 (0x1234): node 2 input byte 3 0 -> 18, input byte 4 0 -> 52\n",
          "register 100 = 171 (0x00AB): node 2 input byte 2 0 -> 171\n",
          "register 101 = 22136 (0x5678): node 2 input byte 3 18 -> 86, input byte 4 52 -> 120\n",
          "register 102 = 258 (0x0102): node 1 input byte 4 0 -> 1, input byte 1 0 -> 2\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_NE(text.find("stopped\n"), std::string::npos);
}

TEST_F(Simulate, WrongUnitIsIgnoredAndUnit255Answered) {
    const int port = startTcp();
    const Client wrong = tcpClient(port, 3);
    modbus_set_response_timeout(wrong.get(), 0, 300000);
    EXPECT_TRUE(readRegisters(wrong.get(), 0, 1).empty());
    EXPECT_EQ(errno, ETIMEDOUT);
    const Client any = tcpClient(port, 255);
    EXPECT_EQ(readRegisters(any.get(), 1, 1), std::vector<std::uint16_t>{0x1122});
}

TEST_F(Simulate, SeveralClientsAndADroppedOne) {
    const int port = startTcp();
    const Client first = tcpClient(port, kUnit);
    Client second = tcpClient(port, kUnit);
    EXPECT_EQ(readRegisters(second.get(), 1, 1), std::vector<std::uint16_t>{0x1122});
    const std::string secondAddress = RawConnection::localAddress(modbus_get_socket(second.get()));
    second.reset();  // dropped without a word
    EXPECT_EQ(readRegisters(first.get(), 2, 1), std::vector<std::uint16_t>{0x0304});
    const Client third = tcpClient(port, kUnit);
    EXPECT_EQ(readRegisters(third.get(), 3, 1), std::vector<std::uint16_t>{6});
    EXPECT_EQ(readRegisters(first.get(), 3, 1), std::vector<std::uint16_t>{6});
    // Named by the address it had, though it is gone.
    EXPECT_TRUE(waitForText(log(), "client " + secondAddress + " disconnected"))
        << contentOf(log());
}

TEST_F(Simulate, MbpollReadsAndWrites) {
    const int port = startTcp();
    const std::string poll = "mbpoll -m tcp -a 17 -0 -1 -o 2 -p " + std::to_string(port) + " ";
    const std::string read = shellOutput(poll + "-t 4:hex -r 0 -c 4 127.0.0.1 2>&1");
    EXPECT_NE(read.find("[0]: \t0x0000\n[1]: \t0x1122\n[2]: \t0x0304\n[3]: \t0x0006\n"),
              std::string::npos)
        << read;
    const std::string gap = shellOutput(poll + "-t 3 -r 3 -c 3 127.0.0.1 2>&1");
    EXPECT_NE(gap.find("Illegal data address"), std::string::npos) << gap;
    const std::string write = shellOutput(poll + "-t 4 -r 101 127.0.0.1 513 2>&1");
    EXPECT_NE(write.find("Written 1 references."), std::string::npos) << write;
    EXPECT_TRUE(waitForText(
        log(), "register 101 = 513 (0x0201): node 2 input byte 3 0 -> 2, input byte 4 0 -> 1"));
    const std::string wrongUnit = shellOutput("mbpoll -m tcp -a 1 -0 -1 -o 0.3 -p " +
                                              std::to_string(port) + " -r 0 127.0.0.1 2>&1");
    EXPECT_NE(wrongUnit.find("timed out"), std::string::npos) << wrongUnit;
}

TEST_F(Simulate, RtuSessionOverAPseudoTerminalPair) {
    const fs::path simulatorEnd = dir / "gateway";
    const fs::path masterEnd = dir / "master";
    Child socat({"socat", "pty,raw,echo=0,link=" + simulatorEnd.string(),
                 "pty,raw,echo=0,link=" + masterEnd.string()},
                dir / "socat.txt");
    for (int i = 0; i < 200 && !(fs::exists(simulatorEnd) && fs::exists(masterEnd)); ++i) {
        std::this_thread::sleep_for(25ms);
    }
    child = std::make_unique<Child>(
        std::vector<std::string>{VELMORA_CLI_PATH, "simulate", dir.path().string(), "--rtu",
                                 simulatorEnd.string(), "--data", data().string(), "--log",
                                 log().string()},
        errors());
    EXPECT_EQ(child->line(), "listening on " + simulatorEnd.string() +
                                 " (Modbus RTU, 19200 baud, parity NONE, 8 data bits, 1 stop bit)")
        << contentOf(errors());

    Client client(modbus_new_rtu(masterEnd.c_str(), 19200, 'E', 8, 1));
    ASSERT_EQ(modbus_connect(client.get()), 0) << modbus_strerror(errno);
    modbus_set_response_timeout(client.get(), 2, 0);
    modbus_set_slave(client.get(), kUnit);
    EXPECT_EQ(readRegisters(client.get(), 0, 4),
              (std::vector<std::uint16_t>{0, 0x1122, 0x0304, 6}));
    EXPECT_TRUE(readRegisters(client.get(), 4, 2).empty());
    EXPECT_EQ(errno, EMBXILADD);
    const std::uint16_t values[] = {0x0A0B, 0x0C0D};
    EXPECT_EQ(modbus_write_registers(client.get(), 101, 2, values), 2) << modbus_strerror(errno);
    EXPECT_TRUE(waitForText(
        log(), "register 102 = 3085 (0x0C0D): node 1 input byte 4 0 -> 12, input byte 1 0 -> 13"));

    modbus_set_slave(client.get(), 16);
    modbus_set_response_timeout(client.get(), 0, 300000);
    EXPECT_TRUE(readRegisters(client.get(), 0, 1).empty());
    EXPECT_EQ(errno, ETIMEDOUT);
    modbus_set_slave(client.get(), kUnit);
    EXPECT_EQ(readRegisters(client.get(), 5, 1), std::vector<std::uint16_t>{0x0200});
    // A broadcast write is applied and not answered (this client waits for an answer all the same).
    modbus_set_slave(client.get(), MODBUS_BROADCAST_ADDRESS);
    modbus_write_register(client.get(), 100, 0x0042);
    EXPECT_TRUE(
        waitForText(log(), "register 100 = 66 (0x0042): node 2 input byte 2 0 -> 66 (broadcast)"));
    modbus_set_slave(client.get(), kUnit);
    modbus_set_response_timeout(client.get(), 2, 0);
    EXPECT_EQ(readRegisters(client.get(), 3, 1), std::vector<std::uint16_t>{6});
    EXPECT_EQ(child->stop(SIGTERM), 0);
}

TEST_F(Simulate, RefusesWhatItCannotServe) {
    // The exit status and standard error of a run in this process.
    const auto refusal = [](const std::vector<std::string>& args) {
        const Outcome outcome = run(args);
        return std::pair{outcome.status, outcome.err};
    };
    fs::remove(dir / "pargen.xml");
    EXPECT_EQ(refusal({"simulate", dir.path().string(), "--tcp", ":0"}),
              std::pair(kExitFailure,
                        "velmora-cli: " + dir.path().string() +
                            ": the image has no parameter block, so the gateway's Modbus ID is "
                            "unknown (is pargen.xml missing?)\n"));
    test::writeText(dir / "pargen.xml", settings());
    test::writeText(data(), R"({"2": {"out": [1, 2, 3, 4, 5, 6, 7]}})");
    EXPECT_EQ(refusal({"simulate", dir.path().string(), "--tcp", ":0", "--data", data().string()}),
              std::pair(kExitFailure, "velmora-cli: " + data().string() +
                                          ": /2/out: the node has 6 output bytes, 7 are given\n"));
    test::writeText(data(), kData);
    EXPECT_EQ(refusal({"simulate", dir.path().string(), "--rtu", (dir / "none").string()}),
              std::pair(kExitFailure, "velmora-cli: Cannot open " + (dir / "none").string() +
                                          ": No such file or directory\n"));
    EXPECT_EQ(refusal({"simulate", "--image", (dir / "no.bin").string(), "--tcp", ":0"}).first,
              kExitFailure);
    EXPECT_EQ(
        refusal({"simulate", dir.path().string()}),
        std::pair(kExitUsage,
                  std::string("velmora-cli: missing --tcp HOST:PORT or --rtu DEVICE\n"
                              "Usage: velmora-cli simulate (PROJECT_DIR | --image FILE) "
                              "(--tcp HOST:PORT | --rtu DEVICE)\n"
                              "                            [--baud N] [--parity none|even|odd]\n"
                              "                            [--data FILE] [--state FILE] [--log "
                              "FILE] [--verbose]\n"
                              "                            [--idle-timeout SECONDS] [--strict]\n"
                              "Try 'velmora-cli simulate --help' for more information.\n")));
    // --strict refuses a repeated index (and the check's errors) before serving anything.
    test::writeText(dir / "DefReg.xml",
                    R"(<InfoMod><Modbus_Read><row Index="3" NrDNNode="1" PosComp="1"/>)"
                    R"(<row Index="3" NrDNNode="1" PosComp="2"/></Modbus_Read><Modbus_Write/>)"
                    R"(</InfoMod>)");
    const Outcome strict = run({"simulate", dir.path().string(), "--tcp", ":0", "--strict"});
    EXPECT_EQ(strict.status, kExitFailure);
    EXPECT_EQ(strict.out, "");
    EXPECT_NE(strict.err.find("Read register 3 stands 2 times (records 0, 1 of the read map)"),
              std::string::npos)
        << strict.err;
    EXPECT_NE(strict.err.find("velmora-cli: --strict: " + dir.path().string() +
                              " has 1 error and "
                              "1 repeated index (velmora-cli check lists them)\n"),
              std::string::npos)
        << strict.err;
    // A document that cannot be read is named, as compose names it.
    test::writeText(dir / "DefReg.xml", "<InfoMod><Modbus_Read>");
    const Outcome broken = run({"simulate", dir.path().string(), "--tcp", ":0"});
    EXPECT_EQ(broken.status, kExitFailure);
    EXPECT_EQ(broken.err.rfind("velmora-cli: DefReg.xml: ", 0), 0u) << broken.err;
}

// The gateway answers no Modbus master when its serial protocol is Binary or ASCII: the
// simulator serves all the same, but says so.
TEST_F(Simulate, AProjectWhoseProtocolIsNotModbusIsServedWithAWarning) {
    for (const int protocol : {2, 3, 4}) {
        SCOPED_TRACE(protocol);
        test::writeText(dir / "pargen.xml", settings(protocol));
        const int port = startTcp();
        const Client client = tcpClient(port, kUnit);
        EXPECT_EQ(readRegisters(client.get(), 1, 1), std::vector<std::uint16_t>{0x1122});
        EXPECT_EQ(child->stop(SIGTERM), 0);
        EXPECT_EQ(contentOf(errors()),
                  protocol == 2 ? ""
                                : "velmora-cli: warning: the project's serial protocol is not "
                                  "Modbus (\"Ser_Prot\" " +
                                      std::to_string(protocol) +
                                      "): the gateway will not answer as the simulator does\n");
    }
}

TEST_F(Simulate, AnAddressInUseIsRefused) {
    const int port = startTcp();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    const Outcome outcome = run({"simulate", dir.path().string(), "--tcp", address});
    EXPECT_EQ(outcome.status, kExitFailure);
    EXPECT_EQ(outcome.err,
              "velmora-cli: Cannot listen on " + address + ": Address already in use\n");
}

TEST_F(Simulate, AHalfFrameOnOneConnectionHoldsUpNoOther) {
    const int port = startTcp();
    std::vector<std::unique_ptr<RawConnection>> stalled;
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(std::make_unique<RawConnection>(port));
        stalled.back()->send({0, 1, 0, 0, 0, 6, kUnit});  // the header, and then nothing
    }
    // Fresh clients and a polling one are answered while the half frames wait.
    for (int i = 0; i < 5; ++i) {
        const Client fresh = tcpClient(port, kUnit);
        EXPECT_EQ(readRegisters(fresh.get(), 1, 1), std::vector<std::uint16_t>{0x1122}) << i;
    }
    // The stalled ones finish their frames and get their answers.
    for (auto& connection : stalled) {
        connection->send({3, 0, 1, 0, 1});
        EXPECT_EQ(connection->receive(11),
                  (std::vector<std::uint8_t>{0, 1, 0, 0, 0, 5, kUnit, 3, 2, 0x11, 0x22}));
    }
}

TEST_F(Simulate, SilentConnectionIsClosedAfterTheIdleTimeout) {
    const int port = startTcp({"--idle-timeout", "1"});
    RawConnection silent(port);
    RawConnection stalled(port);
    stalled.send({0, 1, 0, 0, 0, 6, kUnit});  // a half frame keeps no place either
    RawConnection polling(port);
    for (std::uint8_t i = 0; i < 8; ++i) {  // 2 s of polling: heard well within every second
        polling.send(tcpRead(i, 1));
        EXPECT_EQ(polling.receive(11).size(), 11u) << int(i);
        std::this_thread::sleep_for(250ms);
    }
    EXPECT_TRUE(silent.closedBySimulator());
    EXPECT_TRUE(stalled.closedBySimulator());
    for (const RawConnection* closed : {&silent, &stalled}) {
        EXPECT_TRUE(waitForText(
            log(), "client " + closed->address() + " closed after 1 s without a request\n"))
            << contentOf(log());
    }
    EXPECT_EQ(countIn(log(), "client " + polling.address() + " closed"), 0u) << contentOf(log());
}

// A master that sends requests and never reads the answers is dropped once they reach the output
// limit, while another master goes on being answered. Its own system's window (128 KB here) takes
// some answers; the simulator's system buffers take no more than a few kilobytes, so it is gone
// long before a megabyte of answers, where it used to be merely slowed down by full buffers.
TEST_F(Simulate, ClientThatLeavesItsAnswersUnreadIsDropped) {
    const int port = startTcp();
    RawConnection deaf(port);
    const Client other = tcpClient(port, kUnit);
    // Register 0 again and again: 12 bytes a request, 11 bytes an answer.
    std::vector<std::uint8_t> burst;
    for (int i = 0; i < 1000; ++i) {
        const std::vector<std::uint8_t> request = tcpRead(1, 0);
        burst.insert(burst.end(), request.begin(), request.end());
    }
    const std::string gone = "client " + deaf.address() + " dropped";
    // 90 bursts: 990 KB of answers.
    for (int round = 0; round < 90 && countIn(log(), gone) == 0 && deaf.offer(burst); ++round) {
        if (round % 100 == 0) {
            EXPECT_EQ(readRegisters(other.get(), 1, 1), std::vector<std::uint16_t>{0x1122});
        }
    }
    EXPECT_TRUE(waitForText(log(), gone + ": it leaves its answers unread\n"))
        << contentOf(log()).substr(0, 2000);
    EXPECT_EQ(readRegisters(other.get(), 2, 1), std::vector<std::uint16_t>{0x0304});
}

// A master that polls keeps its place while idle connections keep arriving: the oldest of those
// that never sent a request gives way to each newcomer.
TEST_F(Simulate, WhenEveryPlaceIsTakenAConnectionWithoutARequestGivesWayFirst) {
    const int port = startTcp();
    RawConnection master(port);
    master.send(tcpRead(0, 1));
    EXPECT_EQ(master.receive(11).size(), 11u);
    std::vector<std::unique_ptr<RawConnection>> idle;
    // Each arrives after the master's last request, so it was heard more lately than the master.
    for (int i = 0; i < 40; ++i) idle.push_back(std::make_unique<RawConnection>(port));
    // 31 places beside the master: the first 9 idle connections gave way, in order.
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(idle[i]->closedBySimulator()) << i;
        EXPECT_TRUE(waitForText(log(), "client " + idle[i]->address() + " closed for " +
                                           idle[i + 31]->address() +
                                           ": 32 clients were connected and it had sent no "
                                           "request\n"))
            << i << contentOf(log());
    }
    EXPECT_EQ(countIn(log(), "closed for"), 9u) << contentOf(log());
    master.send(tcpRead(99, 1));
    EXPECT_EQ(master.receive(11).size(), 11u);
}

TEST_F(Simulate, WhenEveryPlaceIsTakenTheConnectionIdleLongestGivesWay) {
    const int port = startTcp();
    std::vector<std::unique_ptr<RawConnection>> connections;
    for (std::uint8_t i = 0; i < 32; ++i) {
        connections.push_back(std::make_unique<RawConnection>(port));
        connections.back()->send(tcpRead(i, 1));
        EXPECT_EQ(connections.back()->receive(11).size(), 11u) << int(i);
    }
    connections.front()->send(tcpRead(0, 1));  // the first one is heard again: the second idles
    EXPECT_EQ(connections.front()->receive(11).size(), 11u);
    RawConnection newcomer(port);
    newcomer.send(tcpRead(99, 1));
    EXPECT_EQ(newcomer.receive(11).size(), 11u);
    EXPECT_TRUE(connections[1]->closedBySimulator());
    EXPECT_TRUE(waitForText(log(), "client " + connections[1]->address() + " closed for " +
                                       newcomer.address() +
                                       ": 32 clients were connected and it was idle longest\n"))
        << contentOf(log());
    connections.front()->send(tcpRead(1, 1));
    EXPECT_EQ(connections.front()->receive(11).size(), 11u);
}

TEST_F(Simulate, VerboseLogExplainsEveryRequestAndEverySilence) {
    const int port = startTcp({"--verbose"});
    RawConnection master(port);
    master.send(tcpRead(1, 1));
    EXPECT_EQ(master.receive(11).size(), 11u);
    master.send(tcpRead(2, 4));  // register 4 is a gap
    EXPECT_EQ(master.receive(9).size(), 9u);
    master.send({0, 3, 0, 0, 0, 6, 3, 3, 0, 1, 0, 1});  // for unit 3
    master.send(tcpRead(4, 0));                         // answered: the one for unit 3 was not
    EXPECT_EQ(master.receive(11).size(), 11u);
    RawConnection stranger(port);
    stranger.send({'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P'});
    EXPECT_TRUE(stranger.closedBySimulator());
    const std::string who = master.address();
    for (const std::string& line : std::vector<std::string>{
             who + " unit 17 function 3 address 1 count 1: answered\n",
             who + " unit 17 function 3 address 4 count 1: exception 2 (illegal data address): "
                   "register 4 is not in the read map\n",
             who + " unit 3 function 3 address 1 count 1: ignored: for unit 3; this gateway is "
                   "unit 17\n",
             "client " + stranger.address() +
                 " dropped: a stream that is not Modbus TCP (protocol 21536 in the MBAP header)\n",
         }) {
        EXPECT_TRUE(waitForText(log(), line)) << line << contentOf(log());
    }
}

TEST_F(Simulate, StateFileHoldsTheNodeBytesAsTheMasterLeftThem) {
    const fs::path state = dir / "state.json";
    const int port = startTcp({"--state", state.string()});
    EXPECT_TRUE(waitForText(state, R"({"1":{"in":[0,0,0,0],"out":[17,34]},)"
                                   R"("2":{"in":[0,0,0,0,0,0,0,0],"out":[1,2,3,4,5,6]}})"))
        << contentOf(state);
    const Client client = tcpClient(port, kUnit);
    const std::uint16_t values[] = {0x00AB, 0x1234, 0x0102};
    EXPECT_EQ(modbus_write_registers(client.get(), 100, 3, values), 3) << modbus_strerror(errno);
    EXPECT_TRUE(waitForText(state, R"({"1":{"in":[2,0,0,1],"out":[17,34]},)"
                                   R"("2":{"in":[0,171,18,52,0,0,0,0],"out":[1,2,3,4,5,6]}})"))
        << contentOf(state);
}

// A Modbus ASCII master written from the framing rules: ":", the unit, PDU and LRC as
// upper-case hexadecimal pairs, CR LF; 7 data bits, even parity.
class AsciiMaster {
public:
    explicit AsciiMaster(const fs::path& device) : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY)) {
        EXPECT_GE(fd_, 0);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | CLOCAL | CREAD;
        ::cfsetspeed(&tio, B19200);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~AsciiMaster() { ::close(fd_); }
    AsciiMaster(const AsciiMaster&) = delete;
    AsciiMaster& operator=(const AsciiMaster&) = delete;

    // Sends the bytes as one frame; returns the answer's line up to CR LF ("" after 2 s).
    std::string ask(const std::vector<std::uint8_t>& bytes) {
        std::uint8_t sum = 0;
        std::string frame = ":";
        char pair[3];
        for (const std::uint8_t b : bytes) {
            sum = static_cast<std::uint8_t>(sum + b);
            std::snprintf(pair, sizeof pair, "%02X", b);
            frame += pair;
        }
        std::snprintf(pair, sizeof pair, "%02X", static_cast<std::uint8_t>(-sum));
        send(frame + pair + "\r\n");
        return answer();
    }
    void send(const std::string& frame) {
        EXPECT_EQ(::write(fd_, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    }
    std::string answer() {
        std::string text;
        while (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
            pollfd p{fd_, POLLIN, 0};
            char c = 0;
            if (::poll(&p, 1, 2000) <= 0 || ::read(fd_, &c, 1) != 1) return "";
            text += c;
        }
        return text;
    }

private:
    int fd_;
};

TEST_F(Simulate, AsciiSessionOverAPseudoTerminalPair) {
    test::writeText(dir / "pargen.xml", settings(1));
    const fs::path state = dir / "state.json";
    const LinePair line(dir.path());
    child = std::make_unique<Child>(
        std::vector<std::string>{VELMORA_CLI_PATH, "simulate", dir.path().string(), "--rtu",
                                 line.simulatorEnd.string(), "--data", data().string(), "--log",
                                 log().string(), "--verbose", "--state", state.string()},
        errors());
    EXPECT_EQ(child->line(), "listening on " + line.simulatorEnd.string() +
                                 " (Modbus ASCII, 19200 baud, parity NONE, 8 data bits, 1 stop "
                                 "bit)")
        << contentOf(errors());
    AsciiMaster master(line.masterEnd);
    // Registers 0 to 3: 0, 0x1122, 0x0304, 6; LRC 0x100 - (0x11+3+8+0x11+0x22+3+4+6) = 0xA4.
    EXPECT_EQ(master.ask({kUnit, 3, 0, 0, 0, 4}), ":1103080000112203040006A4\r\n");
    EXPECT_EQ(master.ask({kUnit, 3, 0, 4, 0, 1}), ":1183026A\r\n");  // register 4 is a gap
    EXPECT_EQ(master.ask({kUnit, 6, 0, 101, 0x12, 0x34}), ":1106006512343E\r\n");
    EXPECT_TRUE(waitForText(
        log(), "register 101 = 4660 (0x1234): node 2 input byte 3 0 -> 18, input byte 4 0 -> 52"));
    EXPECT_TRUE(waitForText(state, R"({"1":{"in":[0,0,0,0],"out":[17,34]},)"
                                   R"("2":{"in":[0,0,18,52,0,0,0,0],"out":[1,2,3,4,5,6]}})"))
        << contentOf(state);
    // A bad LRC and another unit: no answer, and the log says why.
    master.send(":110300000001EC\r\n");
    EXPECT_TRUE(
        waitForText(log(), line.simulatorEnd.string() + " damaged frame dropped: bad LRC\n"));
    master.ask({16, 3, 0, 0, 0, 1});
    EXPECT_TRUE(waitForText(log(), line.simulatorEnd.string() +
                                       " unit 16 function 3 address 0 count 1: ignored: for unit "
                                       "16; this gateway is unit 17\n"));
    EXPECT_EQ(master.ask({kUnit, 3, 0, 5, 0, 1}), ":1103020200E8\r\n");
    EXPECT_EQ(child->stop(SIGTERM), 0);
}

// The character the image asks for: Modbus ASCII with 7 data bits and the parity bit, or
// without parity 2 stop bits, so that a character keeps its 10 bits. A pseudo-terminal carries
// 8 bits without a parity bit whatever it is told, so the simulator goes on at that and says so;
// the speed and the stop bits reach the terminal, and its state as found is given back at the end.
TEST_F(Simulate, AsciiLineSettingsOnAPseudoTerminalAreWhatItKeeps) {
    struct Case {
        int parity;
        std::string lost;
        std::string shown;
        tcflag_t flags;  // of CSTOPB
    };
    const Case cases[] = {
        {1, "parity EVEN, 7 data bits", "parity NONE, 8 data bits, 1 stop bit", 0},
        {2, "parity ODD, 7 data bits", "parity NONE, 8 data bits, 1 stop bit", 0},
        {0, "7 data bits", "parity NONE, 8 data bits, 2 stop bits", CSTOPB},
    };
    for (const Case& c : cases) {
        test::writeText(dir / "pargen.xml", settings(1, c.parity));
        const fs::path lineDir = dir / ("line" + std::to_string(c.parity));
        fs::create_directories(lineDir);
        const LinePair line(lineDir);
        const fs::path err = lineDir / "stderr.txt";
        Child simulator({VELMORA_CLI_PATH, "simulate", dir.path().string(), "--rtu",
                         line.simulatorEnd.string(), "--log", log().string()},
                        err);
        EXPECT_EQ(simulator.line(), "listening on " + line.simulatorEnd.string() +
                                        " (Modbus ASCII, 19200 baud, " + c.shown + ")")
            << contentOf(err);
        EXPECT_EQ(contentOf(err), "velmora-cli: warning: " + line.simulatorEnd.string() +
                                      " did not keep " + c.lost +
                                      " (a pseudo-terminal carries 8 data bits without parity): "
                                      "going on at 19200 baud, " +
                                      c.shown + "\n");
        // The simulator holds its end exclusively: only root may look at it beside it.
        const int fd = ::open(line.simulatorEnd.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 || ::geteuid() == 0) {
            ASSERT_GE(fd, 0);
            termios tio{};
            EXPECT_EQ(::tcgetattr(fd, &tio), 0);
            ::close(fd);
            EXPECT_EQ(tio.c_cflag & CSTOPB, c.flags) << c.shown;
            EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200)) << c.shown;
        }
        AsciiMaster master(line.masterEnd);
        EXPECT_EQ(master.ask({kUnit, 3, 0, 5, 0, 1}), ":1103020000EA\r\n") << c.shown;
        EXPECT_EQ(simulator.stop(SIGTERM), 0);
    }
}

// The terminal's state (the speed, the raw mode a terminal program needs) as it was before each
// run: given back at the end of a run, so that the next program finds it as it was.
termios terminalState(const fs::path& device) {
    termios tio{};
    const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    return tio;
}

// Run after run on one pseudo-terminal at EVEN parity: the second run, and a run after one that
// was killed and so gave nothing back, serve as the first did.
TEST_F(Simulate, APseudoTerminalServesRunAfterRun) {
    const LinePair line(dir.path());
    const termios found = terminalState(line.simulatorEnd);
    const std::string listening = "listening on " + line.simulatorEnd.string() +
                                  " (Modbus RTU, 19200 baud, parity NONE, 8 data bits, 1 stop bit)";
    Client client(modbus_new_rtu(line.masterEnd.c_str(), 19200, 'E', 8, 1));
    ASSERT_EQ(modbus_connect(client.get()), 0) << modbus_strerror(errno);
    modbus_set_response_timeout(client.get(), 2, 0);
    modbus_set_slave(client.get(), kUnit);
    for (const int run : {1, 2, 3, 4}) {
        SCOPED_TRACE(run);
        Child simulator(
            {VELMORA_CLI_PATH, "simulate", dir.path().string(), "--rtu", line.simulatorEnd.string(),
             "--data", data().string(), "--log", log().string()},
            errors());
        EXPECT_EQ(simulator.line(), listening) << contentOf(errors());
        EXPECT_EQ(readRegisters(client.get(), 1, 1), std::vector<std::uint16_t>{0x1122});
        if (run == 2) {
            simulator.stop(SIGKILL);
            continue;
        }
        EXPECT_EQ(simulator.stop(SIGTERM), 0);
        const termios after = terminalState(line.simulatorEnd);
        if (run == 1) {
            EXPECT_EQ(after.c_cflag, found.c_cflag);
            EXPECT_EQ(after.c_lflag, found.c_lflag);
            EXPECT_EQ(after.c_cc[VMIN], found.c_cc[VMIN]);
        }
    }
}

TEST(SimulateHelp, CommandIsListedAndExplained) {
    const Outcome overview = run({"--help"});
    EXPECT_EQ(overview.status, kExitOk);
    EXPECT_NE(overview.out.find("  simulate PROJECT_DIR (--tcp HOST:PORT | --rtu DEVICE)\n"),
              std::string::npos);
    const Outcome help = run({"simulate", "--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_EQ(help.out.rfind("Usage: velmora-cli simulate (PROJECT_DIR | --image FILE)", 0), 0u);
    EXPECT_NE(help.out.find("Exit status: 0 when stopped by a signal"), std::string::npos);
}

// A master polling 100 registers as fast as it can for three seconds: every request answered,
// and the simulator's memory stays where it was after the first second.
TEST(SimulateLoad, PollingAHundredRegistersKeepsMemoryFlat) {
    test::TempDir dir;
    std::string nodes = R"(<DNET_Net><row ID="1" NB_IN="0" NB_OUT="200" Mnemonic=""/></DNET_Net>)";
    std::string map = "<InfoMod><Modbus_Read>";
    for (int i = 0; i < 100; ++i) {
        map += "<row Index=\"" + std::to_string(i) + "\" NrDNNode=\"1\" PosComp=\"" +
               std::to_string((2 * i + 1) * 65536 + 2 * i + 2) + "\"/>";
    }
    map += "</Modbus_Read><Modbus_Write/></InfoMod>";
    test::writeProject(dir.path(), nodes, map, settings());
    Child child({VELMORA_CLI_PATH, "simulate", dir.path().string(), "--tcp", "127.0.0.1:0", "--log",
                 (dir / "log").string()},
                dir / "err");
    const std::string first = child.line();
    ASSERT_EQ(first.rfind("listening on 127.0.0.1:", 0), 0u) << first;
    const Client client = tcpClient(std::stoi(first.substr(first.rfind(':') + 1)), kUnit);

    std::vector<std::uint16_t> values(100);
    long requests = 0;
    long failures = 0;
    long settledKb = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto now = start; now - start < 3s; now = std::chrono::steady_clock::now()) {
        if (modbus_read_registers(client.get(), 0, 100, values.data()) != 100) ++failures;
        if (++requests % 256 == 0 && settledKb == 0 && now - start > 1s)
            settledKb = child.residentKb();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long finalKb = child.residentKb();
    std::printf(
        "[ figure ] %ld requests of 100 registers in %.1f s: %.0f requests/s; resident %ld kB "
        "after 1 s, %ld kB at the end\n",
        requests, seconds, requests / seconds, settledKb, finalKb);
    EXPECT_EQ(failures, 0);
    EXPECT_GT(settledKb, 0);
    EXPECT_LE(finalKb - settledKb, 256);
    EXPECT_EQ(child.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace velmora::cli
