#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// Platform parity codes 0 to 4 by ordinal.
enum class TParity { paNone, paOdd, paEven, paMark, paSpace };
// One, one and a half, two stop bits: platform codes 0, 1, 2 by ordinal.
enum class TStopbits { sb10, sb15, sb20 };
// The line options: parity check, DSR sensitivity, transmit continues on XOFF, error-character
// replacement, null stripping.
enum class TCommOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
// Flow control; fcDefault leaves the driver's flow-control settings as found.
enum class TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };

// A set of enumeration members, held as a bit mask with bit n for ordinal n.
template <class E>
class EnumSet {
public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> members) {
        for (E m : members) insert(m);
    }
    static constexpr EnumSet fromMask(std::uint32_t mask) {
        EnumSet s;
        s.mask_ = mask;
        return s;
    }
    constexpr bool contains(E m) const { return (mask_ & bit(m)) != 0; }
    constexpr void insert(E m) { mask_ |= bit(m); }
    constexpr bool empty() const { return mask_ == 0; }
    constexpr std::uint32_t mask() const { return mask_; }
    constexpr bool operator==(const EnumSet&) const = default;

private:
    static constexpr std::uint32_t bit(E m) { return std::uint32_t{1} << static_cast<int>(m); }
    std::uint32_t mask_ = 0;
};

using TCommOptions = EnumSet<TCommOption>;

// The five special characters of the line; copying one copies the five.
struct TCommEventChars {
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const TCommEventChars&) const = default;
};

// The line settings the device-control step writes, in plain numbers.
struct LineSettings {
    int baudRate = 9600;
    int dataBits = 8;
    TParity parity = TParity::paNone;
    TStopbits stopBits = TStopbits::sb10;
    TCommEventChars chars;
    std::int32_t xonLimit = 1024;   // receive-queue fill below which XON is sent
    std::int32_t xoffLimit = 1024;  // receive-queue room below which XOFF is sent
    TFlowControl flowControl = TFlowControl::fcDefault;
    TCommOptions options;  // options absent from the set are cleared
};

// A line's whole state as the platform holds it (a termios block, a DCB), to be written back as
// it was found.
using SavedLine = std::vector<unsigned char>;

// The outcome of one port-layer call: success, or failure with the platform's error code.
struct PortStatus {
    bool ok = true;
    int code = 0;
    static PortStatus success() { return {}; }
    static PortStatus failure(int code) { return {false, code}; }
};

// The operating system's serial port calls that the component makes, one per step, so that a
// substitute can stand in for them. Calls never throw; failures carry the platform's code.
class PortLayer {
public:
    // An open device: a file descriptor on POSIX, a HANDLE on Windows.
    using Handle = std::intptr_t;
    static constexpr Handle invalidHandle = -1;

    virtual ~PortLayer() = default;
    // Opens the device listed as `name` for exclusive reading and writing; on failure returns
    // invalidHandle and sets `error` to the platform's code.
    virtual Handle openDevice(const std::string& name, int& error) = 0;
    // Whether `handle` is a character device.
    virtual bool isCharacterDevice(Handle handle) = 0;
    // Discards what is queued either way and releases `handle`; reports nothing.
    virtual void closeDevice(Handle handle) = 0;
    // Makes a read return at once with whatever is queued.
    virtual PortStatus setTimeouts(Handle handle) = 0;
    // Reads the line's current settings, applies `settings` over them and writes them back.
    virtual PortStatus setLineSettings(Handle handle, const LineSettings& settings) = 0;
    // The line's baud rate, data bits, parity and stop bits as the device holds them now (the
    // other fields as defaulted), and in `whole`, when given, its entire state.
    virtual PortStatus readLineSettings(Handle handle, LineSettings& settings,
                                        SavedLine* whole) = 0;
    // Writes back a state read by readLineSettings.
    virtual PortStatus restoreLine(Handle handle, const SavedLine& whole) = 0;
    // Whether `handle` is a pseudo-terminal: it records the speed and stop bits asked of it, but
    // always carries 8-bit characters without parity.
    virtual bool isPseudoTerminal(Handle handle) = 0;
    // Sizes the driver's input and output queues.
    virtual PortStatus setQueueSizes(Handle handle, std::int32_t input, std::int32_t output) = 0;
    // Asserts (true) or clears (false) the DTR line.
    virtual PortStatus setDTR(Handle handle, bool state) = 0;
};

// The port layer of the platform the program runs on (POSIX termios or Win32).
std::shared_ptr<PortLayer> defaultPortLayer();

}  // namespace velmora
