#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velmora::cli {

// Runs `velmora-cli eds FILE... [--json]` (`args` begin with the command name): each data
// sheet's identity, connections and the node sizes it gives. Returns the exit status.
int eds(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Runs `velmora-cli node PROJECT_DIR ID --eds FILE [--mnemonic TEXT] [--json]`: sets the node
// row with that ID in DNET_Net.xml from the data sheet, or appends one. Returns the exit status.
int node(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
