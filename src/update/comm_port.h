#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/error.h"
#include "update/port_layer.h"

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
// Byte sizes 4 to 8.
enum class TDatabits { da4, da5, da6, da7, da8 };
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

using TCommEventTypes = EnumSet<TCommEventType>;

// All nine line events: the mask 0x1FF.
inline constexpr TCommEventTypes allCommEvents = TCommEventTypes::fromMask(0x1FF);

// The baud rate of `rate` in bits per second.
int baudRateValue(TBaudrate rate);
// The number of data bits of `bits` (4 to 8).
int dataBitsValue(TDatabits bits);

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
    virtual PortLayer::Handle createHandle();
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

}  // namespace velmora
