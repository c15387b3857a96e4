#include "update/comm_port.h"

#include <cstdio>

namespace velmora {

namespace {

std::string withCode(const std::string& text, int code) {
    char tail[32];
    std::snprintf(tail, sizeof tail, " (Error: %d) ", code);
    return text + tail;
}

}  // namespace

ECommError::ECommError(const std::string& text, int code)
    : Error(withCode(text, code)), code_(code) {}

int baudRateValue(TBaudrate rate) {
    static constexpr int rates[] = {110,    300,    600,    1200,    2400,   4800,
                                    9600,   14400,  19200,  38400,   56000,  57600,
                                    115200, 128000, 256000, 1500000, 3000000};
    return rates[static_cast<int>(rate)];
}

int dataBitsValue(TDatabits bits) { return 4 + static_cast<int>(bits); }

TCustomComm::TCustomComm(std::shared_ptr<PortLayer> layer) : layer_(std::move(layer)) {}

TCustomComm::~TCustomComm() { Close(); }

void TCustomComm::setDeviceName(const std::string& name) {
    if (name == deviceName_) return;
    if (isOpen()) throw ECommError("Port already assigned (open)", -1);
    deviceName_ = name;
}

LineSettings TCustomComm::lineSettings() const {
    LineSettings s;
    s.baudRate = baudRateValue(baudRate_);
    s.dataBits = dataBitsValue(databits_);
    s.parity = parity_;
    s.stopBits = stopbits_;
    s.chars = eventChars_;
    s.xonLimit = readBufSize_ / 4;
    s.xoffLimit = readBufSize_ / 4;
    s.flowControl = flowControl_;
    s.options = options_;
    return s;
}

PortLayer::Handle TCustomComm::createHandle() {
    int error = 0;
    const PortLayer::Handle handle = layer_->openDevice(deviceName_, error);
    if (handle == PortLayer::invalidHandle)
        throw ECommError("Error accessing specified device", error);
    if (!layer_->isCharacterDevice(handle)) {
        layer_->closeDevice(handle);
        throw ECommError("Invalid device handle, access denied", -1);
    }
    return handle;
}

void TCustomComm::Open() {
    if (isOpen()) throw ECommError("Port already assigned (open)", -1);
    handle_ = createHandle();
    // The monitoring thread would start here, waiting for MonitorEvents on the handle; no handler
    // of a line event exists in this program, so there is no thread to start.
    if (PortStatus s = layer_->setTimeouts(handle_); !s.ok) {
        throw ECommError("Error updating CommTimeouts", s.code);
    }
    if (PortStatus s = layer_->setLineSettings(handle_, lineSettings()); !s.ok) {
        throw ECommError("Error updating DataControlBlock", s.code);
    }
    if (PortStatus s = layer_->setQueueSizes(handle_, readBufSize_, writeBufSize_); !s.ok) {
        throw ECommError("Error initializing Read/Write Buffers", s.code);
    }
}

void TCustomComm::Close() {
    if (!isOpen()) return;
    // The monitoring thread would be stopped here, before the handle is released; the purge of
    // the queues it makes on leaving is part of releasing the device.
    layer_->closeDevice(handle_);
    handle_ = PortLayer::invalidHandle;
}

void TCustomComm::SetDTR(bool state) {
    if (!isOpen()) throw ECommError("Port not open, unable to complete operation", -1);
    if (PortStatus s = layer_->setDTR(handle_, state); !s.ok) {
        throw ECommError("EscapeCommFunction failure", s.code);
    }
}

}  // namespace velmora
