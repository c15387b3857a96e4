#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace velmora::cli {

// What one run of velmora-cli gave.
struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs velmora-cli in the test's process with `args`.
inline Outcome run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = runCli(args, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace velmora::cli
