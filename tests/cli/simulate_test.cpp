// The simulator as a process on TCP, driven by Modbus clients written elsewhere: libmodbus's own
// client, mbpoll and raw sockets.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_process.h"
#include "cli/cli_run.h"
#include "cli/simulate_fixture.h"
#include "image/example_project.h"
#include "support/temp_dir.h"

namespace velmora::cli {
namespace {

using namespace simulator_test;
using test::Child;
using test::contentOf;
using test::countIn;
using test::waitForText;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
