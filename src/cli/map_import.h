#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>

#include "documents/register_map.h"

namespace velmora::cli {

// Places the rows of `csv`, in the columns map's CSV has (found by their names in the header;
// "mnemonic" is not read), on the nodes of `map`, whose registers it replaces. `register` is
// the index plus `base`. Fields are separated by ',' or, when the header has no ',', by ';',
// and may be quoted. Throws Error naming the line of the first row refused: a missing column, a
// node_id that is not the ID of the node at that position, a byte past the node's count, an
// index outside 0..65535, a register repeated in one map; `map` is then left as it was.
void importMapCsv(std::string_view csv, std::int64_t base, RegisterMap& map);

// velmora-cli map PROJECT_DIR --import FILE: DefReg.xml written from FILE through the atomic
// writer, nothing written on any refusal.
int importMap(const std::filesystem::path& projectDir, const std::string& file, std::int64_t base,
              std::ostream& out, std::ostream& err);

}  // namespace velmora::cli
