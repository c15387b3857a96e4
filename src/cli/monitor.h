#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace velmora::cli {

// The arguments of `velmora-cli monitor`.
struct MonitorOptions {
    bool help = false;
    std::string project;
    std::optional<std::string> port;     // --port DEVICE
    std::optional<std::string> tcpHost;  // --tcp HOST[:PORT], with tcpPort
    std::string tcpPort = "502";
    std::optional<int> baud;
    std::optional<int> parity;  // 0 NONE, 1 EVEN, 2 ODD, as the project stores it
    std::optional<int> unit;
    int function = 3;
    int intervalMs = 500;
    int timeoutMs = 1000;
    bool once = false;
    bool json = false;
    std::optional<std::string> csv;
    bool changes = false;  // --changes: a register's row only when its value changes
    std::string error;     // set for a usage error
};

// Parses `args` after the command name.
MonitorOptions parseMonitorArgs(const std::vector<std::string>& args);

// Runs `velmora-cli monitor` (`args` begin with the command name); returns the exit status.
// The live table is drawn only when `out` is the standard output and that is a terminal.
int monitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
