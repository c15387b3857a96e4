#pragma once

#include <memory>
#include <string>

#include "cli/socket_io.h"
#include "update/comm_port.h"

namespace velmora::cli {

// A serial device held open, raw and not blocking, with the given line settings (no flow
// control, no parity check), through the core's port layer; closed with the object. Throws
// Error "Cannot open DEVICE: reason".
class SerialLine {
public:
    SerialLine(const std::string& device, LineSettings settings,
               std::shared_ptr<PortLayer> layer = defaultPortLayer());
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    io::Handle handle() const { return static_cast<io::Handle>(handle_); }

private:
    std::shared_ptr<PortLayer> layer_;
    PortLayer::Handle handle_ = PortLayer::invalidHandle;
};

}  // namespace velmora::cli
