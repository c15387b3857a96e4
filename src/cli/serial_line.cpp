#include "cli/serial_line.h"

#include <iostream>
#include <utility>

#include "cli/command_line.h"
#include "cli/gateway_line.h"
#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora::cli {

namespace {

// "parity EVEN, 7 data bits": the parts of `asked` that `kept` does not have.
std::string lostParts(const LineSettings& asked, const LineSettings& kept) {
    std::string lost;
    const auto add = [&](bool differs, const std::string& part) {
        if (!differs) return;
        if (!lost.empty()) lost += ", ";
        lost += part;
    };
    add(asked.baudRate != kept.baudRate, std::to_string(asked.baudRate) + " baud");
    add(asked.parity != kept.parity, "parity " + std::string(parityLabel(asked.parity)));
    add(asked.dataBits != kept.dataBits, std::to_string(asked.dataBits) + " data bits");
    add(asked.stopBits != kept.stopBits,
        asked.stopBits == TStopbits::sb20 ? "2 stop bits" : "1 stop bit");
    return lost;
}

}  // namespace

void warnOnStandardError(const std::string& text) { failure(std::cerr, "warning: " + text); }

bool sameCharacter(const LineSettings& a, const LineSettings& b) {
    return a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity &&
           a.stopBits == b.stopBits;
}

SerialLine::SerialLine(const std::string& device, LineSettings settings, const LineWarning& warn,
                       std::shared_ptr<PortLayer> layer)
    : layer_(std::move(layer)) {
    int code = 0;
    handle_ = layer_->openDevice(device, code);
    if (handle_ == PortLayer::invalidHandle) {
        throw Error("Cannot open " + device + ": " + nativeErrorText(code));
    }
    settings.flowControl = TFlowControl::fcNone;
    settings.options = {};
    const auto fail = [&](const std::string& reason) {
        close();
        throw Error("Cannot open " + device + ": " + reason);
    };
    // The line's state as found is read before the settings are written: it is given back on close.
    PortStatus status = layer_->setTimeouts(handle_);
    if (status.ok) status = layer_->readLineSettings(handle_, kept_, &found_);
    if (!status.ok) fail(nativeErrorText(status.code));

    const bool pseudoTerminal = layer_->isPseudoTerminal(handle_);
    status = layer_->setLineSettings(handle_, settings);
    if (status.ok) status = layer_->readLineSettings(handle_, kept_, nullptr);
    if (pseudoTerminal && (!status.ok || !sameCharacter(kept_, settings))) {
        // The C library reports a request that changed nothing of a pseudo-terminal as an
        // invalid argument when it asked for a parity or a character size: so it is on the run
        // after one that left the terminal as asked. Ask again for the character the terminal
        // carries, with the rest (speed, raw mode, stop bits) as asked.
        LineSettings carried = settings;
        carried.dataBits = 8;
        carried.parity = TParity::paNone;
        status = layer_->setLineSettings(handle_, carried);
        if (status.ok) status = layer_->readLineSettings(handle_, kept_, nullptr);
    }
    if (!status.ok) {
        fail("the line does not take " + describeLineSettings(settings) + " (" +
             nativeErrorText(status.code) + ")");
    }
    if (sameCharacter(kept_, settings)) return;
    const std::string lost = lostParts(settings, kept_);
    if (!pseudoTerminal) {
        fail("the line did not keep " + lost + " (it has " + describeLineSettings(kept_) + ")");
    }
    if (warn) {
        warn(device + " did not keep " + lost +
             " (a pseudo-terminal carries 8 data bits without parity): going on at " +
             describeLineSettings(kept_));
    }
}

SerialLine::~SerialLine() { close(); }

void SerialLine::close() {
    if (handle_ == PortLayer::invalidHandle) return;
    if (!found_.empty()) layer_->restoreLine(handle_, found_);
    layer_->closeDevice(handle_);
    handle_ = PortLayer::invalidHandle;
}

}  // namespace velmora::cli
