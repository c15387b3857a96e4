#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cli/socket_io.h"
#include "update/comm_port.h"

namespace velmora::cli {

// Told, in one line, what a line did not keep of the settings asked of it.
using LineWarning = std::function<void(const std::string& text)>;

// Writes a line warning to standard error as velmora-cli's other warnings stand there.
void warnOnStandardError(const std::string& text);

// A serial device held open, raw and not blocking, with the given line settings (no flow
// control, no parity check), through the core's port layer; its state as found is written back
// and it is closed with the object.
class SerialLine {
public:
    // Opens `device`, applies `settings` and reads them back. Throws Error "Cannot open DEVICE:
    // reason", and "Cannot open DEVICE: the line did not keep ..." naming what it has instead.
    // A pseudo-terminal carries 8-bit characters without parity whatever it is told: it goes on
    // at what it keeps, and `warn` is told so.
    SerialLine(const std::string& device, LineSettings settings,
               const LineWarning& warn = warnOnStandardError,
               std::shared_ptr<PortLayer> layer = defaultPortLayer());
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    io::Handle handle() const { return static_cast<io::Handle>(handle_); }
    // The baud rate, data bits, parity and stop bits the line holds.
    const LineSettings& settings() const { return kept_; }

private:
    void close();

    std::shared_ptr<PortLayer> layer_;
    PortLayer::Handle handle_ = PortLayer::invalidHandle;
    SavedLine found_;
    LineSettings kept_;
};

// Whether `a` and `b` agree in baud rate, data bits, parity and stop bits.
bool sameCharacter(const LineSettings& a, const LineSettings& b);

}  // namespace velmora::cli
