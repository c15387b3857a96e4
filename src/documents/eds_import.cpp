#include "documents/eds_import.h"

namespace velmora {

void fillRowFromEds(DNetRow& row, const EdsFile& eds) {
    row[kDNetBytesIn] = std::to_string(eds.bytesIn);
    row[kDNetBytesOut] = std::to_string(eds.bytesOut);
    if (row[kDNetMnemonic].empty()) row[kDNetMnemonic] = eds.identity.productName;
}

std::string edsFillText(std::size_t number, const EdsFile& eds) {
    return "row " + std::to_string(number) + ": " + std::to_string(eds.bytesOut) +
           (eds.bytesOut == 1 ? " byte out, " : " bytes out, ") + std::to_string(eds.bytesIn) +
           " in, from " + eds.name;
}

}  // namespace velmora
