#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "update/comm_error.h"
#include "update/comm_port.h"

// The termios port layer on real character devices of our own: pseudo-terminals, /dev/null and
// ordinary files. The machine's serial ports are never opened.

namespace fs = std::filesystem;

namespace velmora {
namespace {

// A pseudo-terminal pair; the component opens the terminal side by its path.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        path_ = name;
    }
    ~PseudoTerminal() {
        ::close(slave_);
        ::close(master_);
    }
    const std::string& path() const { return path_; }
    termios attributes() const {
        termios t{};
        EXPECT_EQ(tcgetattr(slave_, &t), 0);
        return t;
    }
    void setAttributes(const termios& t) { ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0); }
    // Sends `bytes` from the far end of the line.
    void send(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The number of bytes waiting to be read on the terminal side.
    int queued() const {
        int n = -1;
        EXPECT_EQ(ioctl(slave_, FIONREAD, &n), 0);
        return n;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

using test::commError;

// The number of descriptors this process holds.
long openDescriptors() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

// Whether another program, not root, can open `path` for reading and writing: the terminal's
// exclusive mode turns away everyone but root.
bool anotherProgramCanOpen(const std::string& path) {
    const int status = test::runUnprivileged([&] {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) return 0;
        return errno == EBUSY ? 1 : 3;
    });
    EXPECT_TRUE(status == 0 || status == 1) << "the open failed for another reason: " << status;
    return status == 0;
}

TEST(PosixPortLayer, OpensAPseudoTerminalAt9600_8N1) {
    PseudoTerminal pty;
    termios before = pty.attributes();
    before.c_iflag |= IXON | IXOFF;  // flow control as found must stay
    before.c_iflag |= INPCK;         // a line option, cleared since Options is empty
    before.c_cflag |= PARENB | CSTOPB;
    cfsetospeed(&before, B115200);
    pty.setAttributes(before);

    TComm comm;
    comm.setDeviceName(pty.path());
    comm.Open();
    EXPECT_TRUE(comm.isOpen());
    const termios t = pty.attributes();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_iflag & INPCK, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_lflag & ICANON, 0u);
    comm.Close();
    EXPECT_FALSE(comm.isOpen());
    comm.Close();
    EXPECT_FALSE(comm.isOpen());
}

TEST(PosixPortLayer, AnOpenPortIsHeldExclusively) {
    PseudoTerminal pty;
    // The terminal's owner alone could open it otherwise; let anyone try.
    ASSERT_EQ(chmod(pty.path().c_str(), 0666), 0);
    TComm first;
    first.setDeviceName(pty.path());
    first.Open();
    EXPECT_STREQ(commError([&] { first.Open(); }).what(),
                 "Port already assigned (open) (Error: -1) ");

    TComm second;  // a second component of this program, root or not
    second.setDeviceName(pty.path());
    const ECommError held = commError([&] { second.Open(); });
    EXPECT_EQ(held.code(), geteuid() == 0 ? EWOULDBLOCK : EBUSY);
    EXPECT_EQ(std::string(held.what()),
              "Error accessing specified device (Error: " + std::to_string(held.code()) + ") ");
    EXPECT_FALSE(second.isOpen());
    EXPECT_FALSE(anotherProgramCanOpen(pty.path()));

    first.Close();
    EXPECT_TRUE(anotherProgramCanOpen(pty.path()));  // free for the updater
    second.Open();
    EXPECT_TRUE(second.isOpen());
}

TEST(PosixPortLayer, DestroyingTheComponentReleasesThePort) {
    PseudoTerminal pty;
    {
        TComm comm;
        comm.setDeviceName(pty.path());
        comm.Open();
    }
    TComm again;
    again.setDeviceName(pty.path());
    EXPECT_NO_THROW(again.Open());
}

TEST(PosixPortLayer, CloseDiscardsWhatIsQueued) {
    PseudoTerminal pty;
    TComm comm;
    comm.setDeviceName(pty.path());
    comm.Open();
    pty.send("abc");
    for (int i = 0; i < 100 && pty.queued() < 3; ++i) usleep(1000);
    ASSERT_EQ(pty.queued(), 3);
    comm.Close();
    EXPECT_EQ(pty.queued(), 0);
}

TEST(PosixPortLayer, SetDTROnAPseudoTerminalFails) {
    // A pseudo-terminal has no modem lines.
    PseudoTerminal pty;
    TComm comm;
    comm.setDeviceName(pty.path());
    comm.Open();
    const ECommError e = commError([&] { comm.SetDTR(true); });
    EXPECT_STREQ(e.what(), "EscapeCommFunction failure (Error: 25) ");
    EXPECT_EQ(e.code(), ENOTTY);
    EXPECT_TRUE(comm.isOpen());
}

TEST(PosixPortLayer, AMissingDeviceFailsWithErrno) {
    test::TempDir dir;
    TComm comm;
    comm.setDeviceName((dir / "ttyUSB9").string());
    const ECommError e = commError([&] { comm.Open(); });
    EXPECT_STREQ(e.what(), "Error accessing specified device (Error: 2) ");
    EXPECT_EQ(e.code(), ENOENT);
    EXPECT_FALSE(comm.isOpen());
}

TEST(PosixPortLayer, AnOrdinaryFileIsRefusedAndClosedAgain) {
    test::TempDir dir;
    const fs::path file = dir / "COM3";
    test::writeText(file, "not a port");
    const long before = openDescriptors();
    TComm comm;
    comm.setDeviceName(file.string());
    const ECommError e = commError([&] { comm.Open(); });
    EXPECT_STREQ(e.what(), "Invalid device handle, access denied (Error: -1) ");
    EXPECT_FALSE(comm.isOpen());
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(test::readText(file), "not a port");
}

// Settings a terminal cannot take are refused as an invalid argument at the line settings step;
// the port stays open until Close, as after any failure past the device test.
TEST(PosixPortLayer, SettingsTermiosCannotExpressFailAndLeaveThePortOpenUntilClose) {
    struct Case {
        const char* name;
        std::function<void(TComm&)> set;
    };
    const Case cases[] = {
        {"14400 baud", [](TComm& c) { c.setBaudRate(TBaudrate::br14400); }},
        {"56000 baud", [](TComm& c) { c.setBaudRate(TBaudrate::br56000); }},
        {"128000 baud", [](TComm& c) { c.setBaudRate(TBaudrate::br128000); }},
        {"256000 baud", [](TComm& c) { c.setBaudRate(TBaudrate::br256000); }},
        {"4 data bits", [](TComm& c) { c.setDatabits(TDatabits::da4); }},
        {"one and a half stop bits", [](TComm& c) { c.setStopbits(TStopbits::sb15); }},
        {"DTR flow control", [](TComm& c) { c.setFlowControl(TFlowControl::fcDTR); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PseudoTerminal pty;
        const long before = openDescriptors();
        TComm comm;
        comm.setDeviceName(pty.path());
        c.set(comm);
        const ECommError e = commError([&] { comm.Open(); });
        EXPECT_STREQ(e.what(), "Error updating DataControlBlock (Error: 22) ");
        EXPECT_EQ(e.code(), EINVAL);
        EXPECT_TRUE(comm.isOpen());
        EXPECT_EQ(openDescriptors(), before + 1);
        comm.Close();
        EXPECT_FALSE(comm.isOpen());
        EXPECT_EQ(openDescriptors(), before);
    }
}

// What the line holds is read back as the settings' numbers: a pseudo-terminal records the
// speed and stop bits but carries 8-bit characters without parity whatever it is told. Its whole
// state as found can be written back.
TEST(PosixPortLayer, ReadsBackWhatThePseudoTerminalKeptAndRestoresItsState) {
    PseudoTerminal pty;
    const std::shared_ptr<PortLayer> layer = defaultPortLayer();
    int error = 0;
    const PortLayer::Handle handle = layer->openDevice(pty.path(), error);
    ASSERT_NE(handle, PortLayer::invalidHandle) << error;
    EXPECT_TRUE(layer->isPseudoTerminal(handle));
    const termios found = pty.attributes();
    SavedLine whole;
    LineSettings read;
    ASSERT_TRUE(layer->readLineSettings(handle, read, &whole).ok);
    EXPECT_EQ(whole.size(), sizeof(termios));

    LineSettings asked;
    asked.baudRate = 19200;
    asked.dataBits = 7;
    asked.parity = TParity::paEven;
    asked.stopBits = TStopbits::sb20;
    ASSERT_TRUE(layer->setLineSettings(handle, asked).ok);
    ASSERT_TRUE(layer->readLineSettings(handle, read, nullptr).ok);
    EXPECT_EQ(read.baudRate, 19200);
    EXPECT_EQ(read.dataBits, 8);
    EXPECT_EQ(read.parity, TParity::paNone);
    EXPECT_EQ(read.stopBits, TStopbits::sb20);

    ASSERT_TRUE(layer->restoreLine(handle, whole).ok);
    const termios restored = pty.attributes();
    EXPECT_EQ(restored.c_cflag, found.c_cflag);
    EXPECT_EQ(restored.c_lflag, found.c_lflag);
    EXPECT_EQ(restored.c_cc[VMIN], found.c_cc[VMIN]);
    EXPECT_EQ(cfgetospeed(&restored), cfgetospeed(&found));
    layer->closeDevice(handle);
}

TEST(PosixPortLayer, NullDeviceFailsAtTheLineSettingsAndStaysOpenUntilClose) {
    // /dev/null is a character device, but no terminal.
    const long before = openDescriptors();
    TComm comm;
    comm.setDeviceName("/dev/null");
    const ECommError e = commError([&] { comm.Open(); });
    EXPECT_STREQ(e.what(), "Error updating DataControlBlock (Error: 25) ");
    EXPECT_EQ(e.code(), ENOTTY);
    EXPECT_TRUE(comm.isOpen());
    EXPECT_EQ(openDescriptors(), before + 1);
    comm.Close();
    EXPECT_EQ(openDescriptors(), before);
}

}  // namespace
}  // namespace velmora
