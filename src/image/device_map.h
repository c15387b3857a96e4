#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "documents/comm_settings.h"
#include "documents/register_map.h"
#include "image/image_decoder.h"

namespace velmora {

// One node of the device's node table, with the mnemonic of its DeviceNet row (empty when the
// row has none the dialog can read).
struct DeviceNode : DecodedNode {
    std::string mnemonic;
};

// The register map as the device will hold it: the composed image taken apart, rows the composer
// drops left out, each map in ascending index order (equal indexes in image order).
struct DeviceMap {
    std::vector<DeviceNode> nodes;
    std::vector<DecodedRegister> readMap;
    std::vector<DecodedRegister> writeMap;
    // The parameter block as the device holds it; none without pargen.xml.
    std::optional<DecodedParameters> parameters;
    // "Ser_Prot" as the composer reads it: the image keeps only its framing class.
    std::optional<std::int32_t> protocol;

    const std::vector<DecodedRegister>& map(MapSide side) const {
        return side == MapSide::Read ? readMap : writeMap;
    }
};

// Composes the image of `projectDir` and takes it apart. Throws velmora::Error (a DocumentError
// for a fault in a document) when composing fails.
DeviceMap readDeviceMap(const std::filesystem::path& projectDir);

}  // namespace velmora
