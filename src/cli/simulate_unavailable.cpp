#include "cli/cli.h"
#include "cli/simulate.h"

namespace velmora::cli {

int simulate(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "velmora-cli: simulate is not available in this build (it needs libmodbus)\n";
    return kExitFailure;
}

}  // namespace velmora::cli
