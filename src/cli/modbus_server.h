#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/serial_line.h"
#include "modbus/adu.h"
#include "modbus/gateway_session.h"
#include "modbus/simulated_gateway.h"

namespace velmora::cli {

// Where the simulated gateway listens: a TCP address, or a serial device with its line settings
// and framing (RTU or ASCII).
struct ServerSettings {
    bool tcp = true;
    std::string host;                      // TCP: a name or numeric address
    std::string port;                      // TCP: a port number, "0" for any free port
    std::chrono::seconds idleTimeout{60};  // TCP: a connection this long silent is closed
    std::string device;
    LineSettings line;  // baud rate, data bits, parity and stop bits
    modbus::Framing serialFraming = modbus::Framing::Rtu;
};

// What the server tells its caller while it runs.
struct ServerEvents {
    // Once, when ready: the address, or the device with its framing and line as it holds them
    // ("/dev/pts/4 (Modbus RTU, 19200 baud, parity EVEN, 8 data bits, 1 stop bit)").
    std::function<void(const std::string& where)> listening;
    std::function<void(const std::string& text)> warning;  // a line that did not keep its settings
    // Requests answered and framing errors, for the client (its address, or the device).
    std::function<void(const modbus::SessionOutput& output, const std::string& client)> served;
    std::function<void(const std::string& text)> notice;  // clients coming and going
    std::function<void()> idle;  // between requests, about five times a second
};

// Serves `gateway` until SIGINT or SIGTERM arrives, then returns. On TCP every connection is
// read without blocking and answered as soon as a whole request is in, so no client can hold up
// another. Throws Error when the address or device cannot be opened, or the serial device fails
// while serving.
void serveModbus(const ServerSettings& settings, modbus::SimulatedGateway& gateway,
                 const ServerEvents& events);

}  // namespace velmora::cli
