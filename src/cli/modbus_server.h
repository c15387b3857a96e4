#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/simulated_gateway.h"

namespace velmora::cli {

// Where the simulated gateway listens: a TCP address, or a serial device and its line settings
// (8 data bits, 1 stop bit).
struct ServerSettings {
    bool tcp = true;
    std::string host;  // TCP: a name or numeric address
    std::string port;  // TCP: a port number, "0" for any free port
    std::string device;
    int baud = 0;
    char parity = 'N';  // 'N', 'E' or 'O'
};

// What the server tells its caller while it runs.
struct ServerEvents {
    std::function<void(const std::string& where)> listening;             // once, when ready
    std::function<void(const Answer& answer, std::uint8_t unit)> wrote;  // a request set registers
    std::function<void(const std::string& text)> notice;                 // clients coming and going
    std::function<void()> idle;  // between requests, about five times a second
};

// Serves `gateway` until SIGINT or SIGTERM arrives, then returns. Throws Error when the address
// or device cannot be opened, or the serial device fails while serving.
void serveModbus(const ServerSettings& settings, SimulatedGateway& gateway,
                 const ServerEvents& events);

}  // namespace velmora::cli
