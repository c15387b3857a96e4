#include "image/image_decoder.h"

#include <cerrno>
#include <fstream>
#include <istream>

#include "core/error.h"
#include "core/sha256.h"
#include "image/image_format.h"
#include "image/parameter_block.h"

namespace velmora {

namespace fmt = image_format;

namespace {

std::string byteCount(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::uint32_t readLittleEndian(std::span<const std::uint8_t> image, std::uint32_t offset,
                               std::uint32_t width) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < width; ++i) value |= std::uint32_t{image[offset + i]} << (8 * i);
    return value;
}

class Reader {
public:
    Reader(std::span<const std::uint8_t> image, std::uint32_t offset)
        : image_(image), at_(offset) {}
    std::uint8_t u8() { return static_cast<std::uint8_t>(next(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(next(2)); }
    std::int32_t i32() { return static_cast<std::int32_t>(next(4)); }

private:
    std::uint32_t next(std::uint32_t width) {
        const std::uint32_t value = readLittleEndian(image_, at_, width);
        at_ += width;
        return value;
    }
    std::span<const std::uint8_t> image_;
    std::uint32_t at_;
};

// Checks that the section [from, to) holds whole records; returns their number.
std::uint32_t recordCount(const char* section, std::uint32_t from, std::uint32_t to,
                          std::uint32_t recordSize) {
    const std::uint32_t size = to - from;
    if (size % recordSize != 0) {
        throw Error(std::string("The ") + section + " holds " + byteCount(size) +
                    ", which is not a whole number of " + std::to_string(recordSize) +
                    "-byte records");
    }
    return size / recordSize;
}

std::vector<DecodedRegister> decodeMap(std::span<const std::uint8_t> image, std::uint32_t from,
                                       std::uint32_t count) {
    std::vector<DecodedRegister> map(count);
    Reader in(image, from);
    for (DecodedRegister& reg : map) {
        reg.index = in.u16();
        reg.posComp = in.i32();
        reg.nodePosition = in.u8();
    }
    return map;
}

void checkNodes(DecodedImage& decoded) {
    std::uint16_t inputSum = 0;
    std::uint16_t outputSum = 0;
    for (std::size_t i = 0; i < decoded.nodes.size(); ++i) {
        const DecodedNode& node = decoded.nodes[i];
        if (node.inputStart != inputSum || node.outputStart != outputSum) {
            decoded.problems.push_back(
                "Node " + std::to_string(i + 1) + " starts at input " +
                std::to_string(node.inputStart) + " and output " +
                std::to_string(node.outputStart) + ", but the nodes before it end at input " +
                std::to_string(inputSum) + " and output " + std::to_string(outputSum));
        }
        inputSum = static_cast<std::uint16_t>(inputSum + node.bytesIn);
        outputSum = static_cast<std::uint16_t>(outputSum + node.bytesOut);
    }
}

// Records and nodes are counted from 1, as the check and the map count rows and nodes.
void checkMap(DecodedImage& decoded, const std::vector<DecodedRegister>& map, const char* name) {
    for (std::size_t i = 0; i < map.size(); ++i) {
        if (map[i].nodePosition >= decoded.nodes.size()) {
            decoded.problems.push_back(
                std::string("Record ") + std::to_string(i + 1) + " of the " + name +
                " names node " + std::to_string(map[i].nodePosition + 1) +
                ", but the node table has " + std::to_string(decoded.nodes.size()) + " nodes");
        }
    }
}

// The block stores each count in a byte or two, so a table longer than that can hold is
// miscounted on the device: 256 nodes are stored as 0.
void checkCount(DecodedImage& decoded, const char* what, std::uint32_t stored, std::size_t actual) {
    if (stored != actual) {
        decoded.problems.push_back("The parameter block counts " + std::to_string(stored) + " " +
                                   what + ", but the image holds " + std::to_string(actual));
    }
}

}  // namespace

std::string imageFingerprint(std::span<const std::uint8_t> image) {
    return hexDigest(sha256(image)).substr(0, 8);
}

DecodedImage decodeConfigImage(std::span<const std::uint8_t> image) {
    if (image.size() < fmt::kHeaderSize) {
        throw Error("The image is " + byteCount(image.size()) + " long, shorter than its " +
                    std::to_string(fmt::kHeaderSize) + "-byte header");
    }
    if (image.size() > 0xFFFFFFFFu)
        throw Error("The image is too large to be a configuration image");
    DecodedImage decoded;
    decoded.length = static_cast<std::uint32_t>(image.size());
    decoded.fingerprint = imageFingerprint(image);
    decoded.nodeTableOffset = readLittleEndian(image, fmt::kNodeTableOffsetAt, 4);
    decoded.readMapOffset = readLittleEndian(image, fmt::kReadMapOffsetAt, 4);
    decoded.writeMapOffset = readLittleEndian(image, fmt::kWriteMapOffsetAt, 4);
    decoded.parametersOffset = readLittleEndian(image, fmt::kParametersOffsetAt, 4);

    if (decoded.nodeTableOffset != fmt::kHeaderSize) {
        throw Error("The node table offset is " + std::to_string(decoded.nodeTableOffset) +
                    ", not " + std::to_string(fmt::kHeaderSize));
    }
    const bool ascending = decoded.readMapOffset >= decoded.nodeTableOffset &&
                           decoded.writeMapOffset >= decoded.readMapOffset &&
                           decoded.parametersOffset >= decoded.writeMapOffset;
    if (ascending && decoded.parametersOffset > decoded.length) {
        throw Error("The file is cut short at " + byteCount(decoded.length) +
                    ": its header places the parameter block at " +
                    std::to_string(decoded.parametersOffset));
    }
    if (!ascending) {
        throw Error("The header offsets " + std::to_string(decoded.nodeTableOffset) + ", " +
                    std::to_string(decoded.readMapOffset) + ", " +
                    std::to_string(decoded.writeMapOffset) + ", " +
                    std::to_string(decoded.parametersOffset) +
                    " are not ascending within the image length " + std::to_string(decoded.length));
    }
    const std::uint32_t nodeCount = recordCount("node table", decoded.nodeTableOffset,
                                                decoded.readMapOffset, fmt::kNodeRecordSize);
    const std::uint32_t readCount =
        recordCount("read map", decoded.readMapOffset, decoded.writeMapOffset, fmt::kMapRecordSize);
    const std::uint32_t writeCount = recordCount("write map", decoded.writeMapOffset,
                                                 decoded.parametersOffset, fmt::kMapRecordSize);
    const std::uint32_t tail = decoded.length - decoded.parametersOffset;
    if (tail != 0 && tail != fmt::kParameterBlockSize) {
        throw Error("The parameter block holds " + byteCount(tail) + "; it must hold " +
                    std::to_string(fmt::kParameterBlockSize) + " bytes or be absent");
    }

    decoded.nodes.resize(nodeCount);
    Reader nodes(image, decoded.nodeTableOffset);
    for (DecodedNode& node : decoded.nodes) {
        node.id = nodes.u8();
        node.bytesIn = nodes.u16();
        node.bytesOut = nodes.u16();
        node.inputStart = nodes.u16();
        node.outputStart = nodes.u16();
    }
    decoded.readMap = decodeMap(image, decoded.readMapOffset, readCount);
    decoded.writeMap = decodeMap(image, decoded.writeMapOffset, writeCount);

    if (tail != 0) {
        Reader in(image, decoded.parametersOffset);
        DecodedParameters p;
        for (const fmt::ParameterSlot& slot : fmt::kParameterBlock) {
            if (slot.byte != nullptr) {
                p.*slot.byte = in.u8();
            } else {
                p.*slot.word = in.u16();
            }
        }
        decoded.parameters = p;
    }

    if (decoded.length > fmt::kCapacity) {
        decoded.problems.push_back("The image is " + std::to_string(decoded.length) +
                                   " bytes long, more than the device's " +
                                   std::to_string(fmt::kCapacity));
    }
    checkNodes(decoded);
    checkMap(decoded, decoded.readMap, "read map");
    checkMap(decoded, decoded.writeMap, "write map");
    if (decoded.parameters) {
        checkCount(decoded, "nodes", decoded.parameters->nodeCount, decoded.nodes.size());
        checkCount(decoded, "read records", decoded.parameters->readCount, decoded.readMap.size());
        checkCount(decoded, "write records", decoded.parameters->writeCount,
                   decoded.writeMap.size());
    }
    return decoded;
}

DecodedImage decodeConfigImageFile(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) throw Error(systemErrorText(EISDIR));
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int code = errno;
        throw Error(systemErrorText(code ? code : ENOENT));
    }
    return decodeConfigImageStream(in);
}

DecodedImage decodeConfigImageStream(std::istream& in) {
    // One byte past the capacity is enough to tell that a file is no image; a device or a huge
    // file is never read whole.
    std::vector<std::uint8_t> bytes(image_format::kCapacity + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw Error(systemErrorText(EIO));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > image_format::kCapacity) {
        throw Error("Not a configuration image: larger than " +
                    std::to_string(image_format::kCapacity) + " bytes");
    }
    return decodeConfigImage(bytes);
}

}  // namespace velmora
