#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "documents/register_map.h"

namespace velmora::cli {

// velmora-cli automap: the register map of a project made from its node list (see its help).
int automap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The register map of `projectDir` as the register map dialog shows it, or only its nodes without
// `withRegisters`. Throws Error when DNET_Net.xml is missing or a document read cannot be read
// whole: a map written from a partial reading would lose rows.
RegisterMap loadProjectMap(const std::filesystem::path& projectDir, bool withRegisters = true);

// The project's DefReg.xml.
std::filesystem::path defRegPath(const std::filesystem::path& projectDir);

}  // namespace velmora::cli
