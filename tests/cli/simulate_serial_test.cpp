// The simulator as a process on serial lines: RTU and ASCII over pseudo-terminal pairs made by
// socat, with libmodbus's own client and an ASCII master written here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
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
#include "cli/simulate_fixture.h"

namespace velmora::cli {
namespace {

using namespace simulator_test;
using test::Child;
using test::contentOf;
using test::LinePair;
using test::waitForText;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

}  // namespace
}  // namespace velmora::cli
