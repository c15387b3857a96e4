#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "documents/comm_settings.h"
#include "documents/register_map.h"
#include "image/image_decoder.h"

namespace velmora {

// One node of the device's node table, with the mnemonic of its DeviceNet row (empty when the
// row has none).
struct DeviceNode : DecodedNode {
    std::string mnemonic;
};

// A row of DefReg.xml that the composer leaves out of the image, its node lying past the DeviceNet
// list, with the later rows of its list that name the same node.
struct DroppedRegister {
    std::size_t row = 0;                     // among the children of its list, from 1
    std::int32_t node = 0;                   // its "NrDNNode"
    std::string index;                       // its "Index" text as written, empty when absent
    std::optional<std::int32_t> indexValue;  // the same when it is an integer text
    std::size_t moreRows = 0;                // the later rows of its list on the same node
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
    // The image's fingerprint, by which a bank.bin is matched to this map.
    std::string fingerprint;
    // The rows of each list left out of the image, one per node, by first row.
    std::vector<DroppedRegister> droppedRead;
    std::vector<DroppedRegister> droppedWrite;

    const std::vector<DecodedRegister>& map(MapSide side) const {
        return side == MapSide::Read ? readMap : writeMap;
    }
    const std::vector<DroppedRegister>& dropped(MapSide side) const {
        return side == MapSide::Read ? droppedRead : droppedWrite;
    }
};

// Composes the image of `projectDir` and takes it apart. Throws velmora::Error (a DocumentError
// for a fault in a document) when composing fails.
DeviceMap readDeviceMap(const std::filesystem::path& projectDir);

}  // namespace velmora
