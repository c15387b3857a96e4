// The largest node list an auto map meets: 64 DeviceNet nodes of 455 input and 455 output bytes,
// which the auto map places in 14,560 registers in each map (29,120 in all).
#pragma once

#include <string>

#include "documents/register_map.h"

namespace velmora::bench {

inline constexpr int kAutoMapNodes = 64;
inline constexpr int kAutoMapBytes = 455;
inline constexpr int kAutoMapRegistersPerMap = kAutoMapNodes * ((kAutoMapBytes + 1) / 2);

// The node lists of that network, without registers.
inline DNNodeLists autoMapNodes() {
    DNNodeLists lists;
    const std::string bytes = std::to_string(kAutoMapBytes);
    for (int n = 0; n < kAutoMapNodes; ++n) {
        lists.DNNodeListRead.push_back({n, n + 1, std::to_string(n), bytes, kAutoMapBytes, {}});
        lists.DNNodeListWrite.push_back({n, n + 1, std::to_string(n), bytes, kAutoMapBytes, {}});
    }
    return lists;
}

// DNET_Net.xml of that network.
inline std::string autoMapNodesDocument() {
    std::string dnet = "<DNET_Net>";
    for (int n = 0; n < kAutoMapNodes; ++n) {
        dnet +=
            "<row ID=\"" + std::to_string(n) + "\" NB_IN=\"455\" NB_OUT=\"455\" Mnemonic=\"\"/>";
    }
    return dnet + "</DNET_Net>";
}

}  // namespace velmora::bench
