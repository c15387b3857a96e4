#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "documents/register_map.h"

namespace velmora {

// One record of the node table.
struct DecodedNode {
    std::uint8_t id = 0;
    std::uint16_t bytesIn = 0;
    std::uint16_t bytesOut = 0;
    std::uint16_t inputStart = 0;
    std::uint16_t outputStart = 0;
};

// One record of the read or write map.
struct DecodedRegister {
    std::uint16_t index = 0;
    std::int32_t posComp = 0;
    std::uint8_t nodePosition = 0;  // counted from 0 in the node table

    // The byte choices packed in PosComp: 0 no byte, k the k-th byte of the node.
    std::uint16_t highByte() const {
        return static_cast<std::uint16_t>(UnpackPosComp(posComp).high);
    }
    std::uint16_t lowByte() const { return static_cast<std::uint16_t>(UnpackPosComp(posComp).low); }
};

// The parameter block, each field as stored.
struct DecodedParameters {
    std::uint8_t deviceNetId = 0;
    std::uint8_t deviceNetBaud = 0;
    std::uint8_t serialBaud = 0;
    std::uint8_t parity = 0;
    std::uint8_t serialId = 0;
    std::uint8_t lineType = 0;
    std::uint8_t framing = 0;
    std::uint8_t nodeCount = 0;
    std::uint16_t readCount = 0;
    std::uint16_t writeCount = 0;
    std::uint8_t hardware = 0;
};

// A configuration image taken apart, with what in it does not agree with itself.
struct DecodedImage {
    std::uint32_t length = 0;
    std::string fingerprint;  // imageFingerprint of the decoded bytes
    std::uint32_t nodeTableOffset = 0;
    std::uint32_t readMapOffset = 0;
    std::uint32_t writeMapOffset = 0;
    std::uint32_t parametersOffset = 0;
    std::vector<DecodedNode> nodes;
    std::vector<DecodedRegister> readMap;
    std::vector<DecodedRegister> writeMap;
    std::optional<DecodedParameters> parameters;  // none when the image ends at the maps
    // Inconsistencies found in a decodable image, one sentence each; empty when it is sound.
    std::vector<std::string> problems;
};

// The short fingerprint by which a printed map is matched to an image file: the first 8
// hexadecimal digits (lower case) of the SHA-256 of the image's bytes.
std::string imageFingerprint(std::span<const std::uint8_t> image);

// Takes an image apart. Throws velmora::Error saying what is wrong when its sections cannot be
// located: shorter than the header, offsets not ascending or not consistent with the length, a
// section that is not a whole number of records.
DecodedImage decodeConfigImage(std::span<const std::uint8_t> image);

// Reads and decodes an image file; throws velmora::Error when it cannot be read or decoded. The
// text does not name the file: the caller does.
DecodedImage decodeConfigImageFile(const std::filesystem::path& file);

// Reads an image from `in` (opened in binary mode) up to its end and decodes it, as
// decodeConfigImageFile does.
DecodedImage decodeConfigImageStream(std::istream& in);

}  // namespace velmora
