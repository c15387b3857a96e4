#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"

namespace velmora {

// A failure of the serial port component; what() is the text followed by " (Error: <code>) ".
class ECommError : public Error {
public:
    ECommError(const std::string& text, int code);
    // The platform's error code (errno on POSIX, GetLastError on Windows), or -1 where none.
    int code() const { return code_; }

private:
    int code_;
};

// The baud rates, each the rate of its name.
enum class TBaudrate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
    br1500000,
    br3000000
};
// Platform parity codes 0 to 4 by ordinal.
enum class TParity { paNone, paOdd, paEven, paMark, paSpace };
// One, one and a half, two stop bits: platform codes 0, 1, 2 by ordinal.
enum class TStopbits { sb10, sb15, sb20 };
// Byte sizes 4 to 8.
enum class TDatabits { da4, da5, da6, da7, da8 };
// The line options: parity check, DSR sensitivity, transmit continues on XOFF, error-character
// replacement, null stripping.
enum class TCommOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
// The line events, bit n of the platform's event mask for ordinal n.
enum class TCommEventType {
    evBreak,
    evCts,
    evDsr,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};
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
using TCommEventTypes = EnumSet<TCommEventType>;

// All nine line events: the mask 0x1FF.
inline constexpr TCommEventTypes allCommEvents = TCommEventTypes::fromMask(0x1FF);

// The five special characters of the line; copying one copies the five.
struct TCommEventChars {
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    bool operator==(const TCommEventChars&) const = default;
};

// The baud rate of `rate` in bits per second.
int baudRateValue(TBaudrate rate);
// The number of data bits of `bits` (4 to 8).
int dataBitsValue(TDatabits bits);

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
    // Sizes the driver's input and output queues.
    virtual PortStatus setQueueSizes(Handle handle, std::int32_t input, std::int32_t output) = 0;
    // Asserts (true) or clears (false) the DTR line.
    virtual PortStatus setDTR(Handle handle, bool state) = 0;
};

// The port layer of the platform the program runs on (POSIX termios or Win32).
std::shared_ptr<PortLayer> defaultPortLayer();

// The serial port component: holds the line's settings and, while open, the device.
class TCustomComm {
public:
    explicit TCustomComm(std::shared_ptr<PortLayer> layer = defaultPortLayer());
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    // The name handed to the platform's open, as listed ("COM3", "/dev/ttyUSB0").
    const std::string& DeviceName() const { return deviceName_; }
    // Stores `name`; a different name while open throws ECommError "Port already assigned
    // (open)" with code -1, the same name changes nothing.
    void setDeviceName(const std::string& name);

    // Opens DeviceName and applies the settings, in order: already open, device open, character
    // device, timeouts, line settings, queue sizes. Throws ECommError at the first failure; a
    // failure after the character-device test leaves the port open until Close.
    void Open();
    // Releases the port when open; does nothing when closed. Reports nothing.
    void Close();
    // Asserts or clears DTR. Throws ECommError "Port not open, unable to complete operation"
    // (-1) when closed, "EscapeCommFunction failure" with the platform's code when refused.
    void SetDTR(bool state);
    // Whether the component holds an open device.
    bool isOpen() const { return handle_ != PortLayer::invalidHandle; }

    std::int32_t ReadBufSize() const { return readBufSize_; }
    void setReadBufSize(std::int32_t size) { readBufSize_ = size; }
    std::int32_t WriteBufSize() const { return writeBufSize_; }
    void setWriteBufSize(std::int32_t size) { writeBufSize_ = size; }
    TCommEventTypes MonitorEvents() const { return monitorEvents_; }
    void setMonitorEvents(TCommEventTypes events) { monitorEvents_ = events; }
    TBaudrate BaudRate() const { return baudRate_; }
    void setBaudRate(TBaudrate rate) { baudRate_ = rate; }
    TParity Parity() const { return parity_; }
    void setParity(TParity parity) { parity_ = parity; }
    TStopbits Stopbits() const { return stopbits_; }
    void setStopbits(TStopbits bits) { stopbits_ = bits; }
    TDatabits Databits() const { return databits_; }
    void setDatabits(TDatabits bits) { databits_ = bits; }
    const TCommEventChars& EventChars() const { return eventChars_; }
    void setEventChars(const TCommEventChars& chars) { eventChars_ = chars; }
    TCommOptions Options() const { return options_; }
    void setOptions(TCommOptions options) { options_ = options; }
    TFlowControl FlowControl() const { return flowControl_; }
    void setFlowControl(TFlowControl control) { flowControl_ = control; }

    // The line settings Open writes, from the properties above.
    LineSettings lineSettings() const;

protected:
    // The device-opening step: opens DeviceName and checks that it is a character device.
    // Returns the open handle or throws ECommError, leaving nothing open.
    virtual PortLayer::Handle CreateHandle();
    PortLayer& layer() { return *layer_; }

private:
    std::shared_ptr<PortLayer> layer_;
    PortLayer::Handle handle_ = PortLayer::invalidHandle;
    std::string deviceName_;
    std::int32_t readBufSize_ = 4096;
    std::int32_t writeBufSize_ = 2048;
    TCommEventTypes monitorEvents_ = allCommEvents;
    TBaudrate baudRate_ = TBaudrate::br9600;
    TParity parity_ = TParity::paNone;
    TStopbits stopbits_ = TStopbits::sb10;
    TDatabits databits_ = TDatabits::da8;
    TCommEventChars eventChars_;
    TCommOptions options_;
    TFlowControl flowControl_ = TFlowControl::fcDefault;
};

// The published serial port component the update dialog holds as Comm1.
class TComm : public TCustomComm {
public:
    explicit TComm(std::shared_ptr<PortLayer> layer = defaultPortLayer())
        : TCustomComm(std::move(layer)) {}
};

// The upper bound of the Windows COM probe: 256 in the Windows NT family, 9 outside it.
int comPortProbeBound(bool ntFamily);

// What opening "\\.\COMn" found.
enum class ComProbe { opened, accessDenied, absent };

// The numbers 1..`bound`, ascending, whose probe found a port (opened, or held by another
// program); `probe` must release what it opened.
template <class Probe>
std::vector<int> presentComPorts(int bound, Probe&& probe) {
    std::vector<int> present;
    for (int n = 1; n <= bound; ++n) {
        if (probe(n) != ComProbe::absent) present.push_back(n);
    }
    return present;
}

#ifdef _WIN32
// Probes "\\.\COM1" to the platform's bound and returns the numbers present, ascending.
std::vector<int> probeWindowsComPorts();
#endif

}  // namespace velmora
