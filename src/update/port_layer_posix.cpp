#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "update/port_layer.h"

namespace velmora {

namespace {

speed_t speedOf(int baudRate) {
    switch (baudRate) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
#ifdef B1500000
        case 1500000:
            return B1500000;
#endif
#ifdef B3000000
        case 3000000:
            return B3000000;
#endif
        default:
            return B0;  // no termios counterpart (14400, 56000, 128000, 256000)
    }
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
