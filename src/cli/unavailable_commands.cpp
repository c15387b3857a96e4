// The commands a build without their dependencies leaves out: each says what it needs.
#include "cli/command_line.h"
#include "cli/monitor.h"
#include "cli/simulate.h"

namespace velmora::cli {

#if !VELMORA_WITH_SIMULATOR
int simulate(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    return failure(err, "simulate is not available in this build (it needs nlohmann-json)");
}
#endif

#if !VELMORA_WITH_MONITOR
int monitor(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    return failure(err,
                   "monitor is not available in this build (it needs nlohmann-json and ncurses; "
                   "the Windows build has no ncurses)");
}
#endif

}  // namespace velmora::cli
