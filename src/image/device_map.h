#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "documents/comm_settings.h"
#include "documents/register_map.h"

namespace velmora {

// One node of the device's node table, with the mnemonic of its DeviceNet row.
struct DeviceNode {
    std::uint8_t id = 0;
    std::uint16_t bytesIn = 0;
    std::uint16_t bytesOut = 0;
    std::uint16_t inputStart = 0;
    std::uint16_t outputStart = 0;
    std::string mnemonic;  // empty when the row has none the dialog can read
};

// One register as the device holds it.
struct DeviceRegister {
    std::uint16_t index = 0;
    std::size_t node = 0;  // the node's position, counted from 0
    std::uint16_t high = 0;  // byte choice: 0 no byte, k the k-th byte of the node
    std::uint16_t low = 0;
};

// The register map as the device will hold it: the composed image taken apart, rows the composer
// drops left out, each map in ascending index order (equal indexes in image order).
struct DeviceMap {
    std::vector<DeviceNode> nodes;
    std::vector<DeviceRegister> readMap;
    std::vector<DeviceRegister> writeMap;
    std::optional<CommSettings> settings;  // as the dialog reads them; none without pargen.xml

    const std::vector<DeviceRegister>& map(MapSide side) const {
        return side == MapSide::Read ? readMap : writeMap;
    }
};

// Composes the image of `projectDir` and takes it apart. Throws velmora::Error (a DocumentError
// for a fault in a document) when composing fails.
DeviceMap readDeviceMap(const std::filesystem::path& projectDir);

}  // namespace velmora
