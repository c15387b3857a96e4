#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "update/port_layer.h"

namespace velmora::cli {

// The arguments of `velmora-cli simulate`.
struct SimulateOptions {
    bool help = false;
    std::string project;  // PROJECT_DIR, or empty with `image`
    std::optional<std::string> image;
    std::optional<std::string> tcpHost;  // set with `tcpPort` for --tcp
    std::string tcpPort;
    std::optional<std::string> rtuDevice;
    std::optional<int> baud;        // --rtu: instead of the image's baud rate
    std::optional<TParity> parity;  // --rtu: instead of the image's parity
    std::optional<std::string> data;
    std::optional<std::string> log;
    std::optional<std::string> state;  // the node bytes written here after every write
    bool strict = false;               // refuse a project with errors or repeated indexes
    bool verbose = false;              // log every request, exception and framing error
    int idleTimeout = 60;              // seconds a TCP connection may stay silent
    std::string error;                 // set for a usage error
};

// Parses `args` after the command name; --tcp takes HOST:PORT, ":PORT" or PORT, the host being
// 127.0.0.1 when left out.
SimulateOptions parseSimulateArgs(const std::vector<std::string>& args);

// Runs `velmora-cli simulate` (`args` begin with the command name) until SIGINT or SIGTERM;
// returns the exit status.
int simulate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
