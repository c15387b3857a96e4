#pragma once

#include <cstddef>
#include <string>

#include "documents/devicenet_network.h"
#include "documents/eds_file.h"

namespace velmora {

// Fills a node row from a data sheet: "N BYTE IN" and "N BYTE OUT" from its default connection,
// the mnemonic from its product name where the row has none. The ID stays as typed.
void fillRowFromEds(DNetRow& row, const EdsFile& eds);

// What filling row `number` (counted from 1) took from `eds`:
// "row 3: 10 bytes out, 6 in, from PUMP-DRIVE.EDS".
std::string edsFillText(std::size_t number, const EdsFile& eds);

}  // namespace velmora
