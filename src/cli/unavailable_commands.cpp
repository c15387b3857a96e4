// The commands a build without the simulator's dependencies leaves out: each says what it needs.
#include "cli/command_line.h"
#include "cli/monitor.h"
#include "cli/simulate.h"

namespace velmora::cli {

int simulate(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    return failure(err,
                   "simulate is not available in this build (it needs nlohmann-json and, for now, "
                   "a POSIX system)");
}

int monitor(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    return failure(err,
                   "monitor is not available in this build (it needs nlohmann-json, ncurses and, "
                   "for now, a POSIX system)");
}

}  // namespace velmora::cli
