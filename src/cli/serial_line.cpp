#include "cli/serial_line.h"

#include <utility>

#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora::cli {

SerialLine::SerialLine(const std::string& device, LineSettings settings,
                       std::shared_ptr<PortLayer> layer)
    : layer_(std::move(layer)) {
    int code = 0;
    handle_ = layer_->openDevice(device, code);
    if (handle_ == PortLayer::invalidHandle) {
        throw Error("Cannot open " + device + ": " + nativeErrorText(code));
    }
    settings.flowControl = TFlowControl::fcNone;
    settings.options = {};
    PortStatus status = layer_->setTimeouts(handle_);
    if (status.ok) status = layer_->setLineSettings(handle_, settings);
    if (!status.ok) {
        layer_->closeDevice(handle_);
        throw Error("Cannot open " + device + ": " + nativeErrorText(status.code));
    }
}

SerialLine::~SerialLine() { layer_->closeDevice(handle_); }

}  // namespace velmora::cli
