#include "cli/command_line.h"
#include "cli/monitor.h"

namespace velmora::cli {

int monitor(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    return failure(err,
                   "monitor is not available in this build (it needs nlohmann-json, ncurses and, "
                   "for now, a POSIX system)");
}

}  // namespace velmora::cli
