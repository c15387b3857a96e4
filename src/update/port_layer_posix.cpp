#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "update/port_layer.h"

namespace velmora {

namespace {

// The rates termios names; 14400, 56000, 128000 and 256000 have no counterpart.
constexpr std::pair<int, speed_t> kSpeeds[] = {
    {110, B110},         {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},       {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400},     {57600, B57600}, {115200, B115200},
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
};

speed_t speedOf(int baudRate) {
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baudRate) return speed;
    }
    return B0;
}

// The rate of a termios speed; 0 for one outside the table.
int rateOf(speed_t speed) {
    for (const auto& [rate, named] : kSpeeds) {
        if (named == speed) return rate;
    }
    return 0;
}

tcflag_t sizeOf(int dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Applies `s` over `t`; false when the line cannot take a setting.
bool apply(termios& t, const LineSettings& s) {
    const speed_t speed = speedOf(s.baudRate);
    // termios has no 4-bit bytes, one and a half stop bits, nor DTR/DSR flow control.
    if (speed == B0 || s.dataBits < 5 || s.stopBits == TStopbits::sb15 ||
        s.flowControl == TFlowControl::fcDTR) {
        return false;
    }
    // Raw bytes both ways, as on a Windows port; flow-control flags stay for the switch below.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IGNPAR | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= CREAD | CLOCAL | sizeOf(s.dataBits);
    switch (s.parity) {
        case TParity::paNone:
            break;
        case TParity::paOdd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case TParity::paEven:
            t.c_cflag |= PARENB;
            break;
        case TParity::paMark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case TParity::paSpace:
            t.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (s.stopBits == TStopbits::sb20) t.c_cflag |= CSTOPB;
    // Parity check is the one line option with a termios counterpart; the others have none.
    if (s.options.contains(TCommOption::coParityCheck)) t.c_iflag |= INPCK;
    t.c_cc[VSTART] = static_cast<cc_t>(s.chars.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.chars.XoffChar);
    // Reads return at once with whatever is queued.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    switch (s.flowControl) {
        case TFlowControl::fcNone:
            t.c_cflag &= ~CRTSCTS;
            t.c_iflag &= ~(IXON | IXOFF);
            break;
        case TFlowControl::fcCTS:
            t.c_cflag |= CRTSCTS;
            t.c_iflag &= ~(IXON | IXOFF);
            break;
        case TFlowControl::fcSoftware:
            t.c_cflag &= ~CRTSCTS;
            t.c_iflag |= IXON | IXOFF;
            break;
        default:
            break;  // fcDefault: as found
    }
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return true;
}

// The line settings `t` carries.
LineSettings settingsOf(const termios& t) {
    LineSettings s;
    s.baudRate = rateOf(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        if (t.c_cflag & CMSPAR) {
            s.parity = odd ? TParity::paMark : TParity::paSpace;
        } else {
            s.parity = odd ? TParity::paOdd : TParity::paEven;
        }
    }
    s.stopBits = (t.c_cflag & CSTOPB) ? TStopbits::sb20 : TStopbits::sb10;
    return s;
}

class PosixPortLayer final : public PortLayer {
public:
    Handle openDevice(const std::string& name, int& error) override {
        const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = errno;
            return invalidHandle;
        }
        // A terminal is held exclusively, as a Windows port is opened without sharing: TIOCEXCL
        // keeps other programs out (but not root), the advisory lock any second open by this
        // program, root or not. Anything else is no port and is refused by the next step, so
        // it is left unlocked.
        if (::isatty(fd) && (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0)) {
            error = errno;
            ::close(fd);
            return invalidHandle;
        }
        return fd;
    }

    bool isCharacterDevice(Handle handle) override {
        struct stat st {};
        return ::fstat(static_cast<int>(handle), &st) == 0 && S_ISCHR(st.st_mode);
    }

    void closeDevice(Handle handle) override {
        const int fd = static_cast<int>(handle);
        if (::isatty(fd)) {
            ::tcflush(fd, TCIOFLUSH);
            // The exclusive mode belongs to the terminal, not to the descriptor: clear it so
            // that the updater can open the port.
            ::ioctl(fd, TIOCNXCL);
        }
        ::close(fd);
    }

    PortStatus setTimeouts(Handle handle) override {
        // The descriptor is non-blocking, so a read returns at once; VMIN and VTIME, which live
        // in the line's termios block, are written with the line settings.
        const int fd = static_cast<int>(handle);
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
            return PortStatus::failure(errno);
        }
        return PortStatus::success();
    }

    PortStatus setLineSettings(Handle handle, const LineSettings& settings) override {
        const int fd = static_cast<int>(handle);
        termios t{};
        if (::tcgetattr(fd, &t) != 0) return PortStatus::failure(errno);
        if (!apply(t, settings)) return PortStatus::failure(EINVAL);
        if (::tcsetattr(fd, TCSANOW, &t) != 0) return PortStatus::failure(errno);
        return PortStatus::success();
    }

    PortStatus readLineSettings(Handle handle, LineSettings& settings, SavedLine* whole) override {
        termios t{};
        if (::tcgetattr(static_cast<int>(handle), &t) != 0) return PortStatus::failure(errno);
        settings = settingsOf(t);
        if (whole) {
            whole->resize(sizeof t);
            std::memcpy(whole->data(), &t, sizeof t);
        }
        return PortStatus::success();
    }

    PortStatus restoreLine(Handle handle, const SavedLine& whole) override {
        termios t{};
        if (whole.size() != sizeof t) return PortStatus::failure(EINVAL);
        std::memcpy(&t, whole.data(), sizeof t);
        if (::tcsetattr(static_cast<int>(handle), TCSANOW, &t) != 0) {
            return PortStatus::failure(errno);
        }
        return PortStatus::success();
    }

    bool isPseudoTerminal(Handle handle) override {
        // The terminal side of a pair is named under /dev/pts (a Unix 98 pseudo-terminal).
        char name[256] = {};
        return ::ttyname_r(static_cast<int>(handle), name, sizeof name) == 0 &&
               std::string_view(name).starts_with("/dev/pts/");
    }

    PortStatus setQueueSizes(Handle, std::int32_t, std::int32_t) override {
        // The kernel sizes a tty's queues itself: nothing to set.
        return PortStatus::success();
    }

    PortStatus setDTR(Handle handle, bool state) override {
        int bits = TIOCM_DTR;
        if (::ioctl(static_cast<int>(handle), state ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
            return PortStatus::failure(errno);
        }
        return PortStatus::success();
    }
};

}  // namespace

std::shared_ptr<PortLayer> defaultPortLayer() {
    static const std::shared_ptr<PortLayer> layer = std::make_shared<PosixPortLayer>();
    return layer;
}

}  // namespace velmora
