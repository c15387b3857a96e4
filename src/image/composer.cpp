#include "image/composer.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/atomic_file.h"
#include "core/error.h"
#include "documents/comm_settings.h"
#include "documents/devicenet_network.h"
#include "documents/integer_text.h"
#include "documents/register_map.h"
#include "documents/xml_document.h"
#include "image/parameter_block.h"

namespace velmora {

namespace fs = std::filesystem;
namespace fmt = image_format;

namespace {

// Where a value is read from; spelled out only when something fails there.
struct Place {
    std::string_view document;
    const char* list = nullptr;  // a list element of the document, or none
    std::size_t row = 0;         // counted from 1; 0 for the document as a whole
};

[[noreturn]] void fail(const Place& place, const std::string& what) {
    throw DocumentError(std::string(place.document), place.list != nullptr ? place.list : "",
                        place.row, what);
}

std::uint8_t framingClass(std::int32_t protocol) {
    const auto low = static_cast<std::uint8_t>(protocol);
    return low < fmt::kFramingClassByProtocol.size() ? fmt::kFramingClassByProtocol[low]
                                                     : fmt::kFramingClassOtherProtocol;
}

// Appends little-endian fields to the image buffer; every field takes the low-order bits of its
// value. Callers make room for a whole record first, so no byte lands outside the buffer.
class ImageWriter {
public:
    explicit ImageWriter(std::vector<std::uint8_t>& buffer) : buffer_(buffer) {}

    std::uint32_t position() const { return position_; }
    void seek(std::uint32_t position) { position_ = position; }

    // Keeps `size` bytes free for a section that comes last (the parameter block), so that the
    // record that takes its room is the one refused.
    void reserve(std::uint32_t size) { reserved_ = size; }

    // Refuses a record of `size` bytes, naming `place`, when it would pass the capacity.
    void makeRoom(std::uint32_t size, const Place& place) const {
        if (std::size_t{position_} + size + reserved_ > buffer_.size()) {
            fail(place, "the configuration image would exceed " + std::to_string(buffer_.size()) +
                            " bytes");
        }
    }

    void u8(std::int32_t value) { append(value, 1); }
    void u16(std::int32_t value) { append(value, 2); }
    void i32(std::int32_t value) { append(value, 4); }
    void u32At(std::uint32_t offset, std::uint32_t value) { store(offset, value, 4); }

private:
    void append(std::int32_t value, std::uint32_t width) {
        store(position_, static_cast<std::uint32_t>(value), width);
        position_ += width;
    }
    void store(std::uint32_t offset, std::uint32_t bits, std::uint32_t width) {
        if (offset + width > buffer_.size()) throw Error("Write outside the configuration image");
        for (std::uint32_t i = 0; i < width; ++i) {
            buffer_[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        }
    }

    std::vector<std::uint8_t>& buffer_;
    std::uint32_t position_ = 0;
    std::uint32_t reserved_ = 0;
};

// What `read` gives of `document`; a document that cannot be read or parsed keeps the parser's
// text for the application and is located in `document` for the others.
template <typename Read>
auto readDocument(std::string_view document, Read read) {
    try {
        return read();
    } catch (const DocumentError&) {
        throw;
    } catch (const Error& e) {
        throw DocumentError(std::string(document), "", 0, e.what(), e.what());
    }
}

// Appends one record per row of DNET_Net.xml; returns the number of records.
std::size_t appendNodeTable(ImageWriter& out, const fs::path& file) {
    // Rows past what the image can hold are not kept: the first of them already fails for room.
    const DNetNodeRows read = readDocument(fmt::kDNetNetFile, [&] {
        return readDNetNodeRows(file, fmt::kCapacity / fmt::kNodeRecordSize + 1);
    });
    std::uint16_t inputStart = 0;
    std::uint16_t outputStart = 0;
    std::size_t number = 0;
    for (const DNetNodeRow& row : read.rows) {
        out.makeRoom(fmt::kNodeRecordSize, Place{fmt::kDNetNetFile, nullptr, ++number});
        out.u8(row.id);
        out.u16(row.bytesIn);
        out.u16(row.bytesOut);
        out.u16(inputStart);
        out.u16(outputStart);
        inputStart =
            static_cast<std::uint16_t>(inputStart + static_cast<std::uint16_t>(row.bytesIn));
        outputStart =
            static_cast<std::uint16_t>(outputStart + static_cast<std::uint16_t>(row.bytesOut));
    }
    if (read.fault)
        fail(Place{fmt::kDNetNetFile, nullptr, read.fault->place.row}, read.fault->message);
    return number;
}

// Appends one record per placed row of the list `listName` of DefReg.xml; returns the number of
// records.
std::size_t appendMap(ImageWriter& out, const RegisterListRows& list, const char* listName) {
    if (!list.present) {
        fail(Place{fmt::kDefRegFile},
             "element " + quotedValue(listName) + " is missing under the root");
    }
    for (const PlacedRegisterRow& row : list.rows) {
        out.makeRoom(fmt::kMapRecordSize, Place{fmt::kDefRegFile, listName, row.row});
        // The placement rule took both as integer texts.
        out.u16(*parseIntegerText(row.index));
        out.i32(*parseIntegerText(row.posComp));
        out.u8(row.node - 1);
    }
    if (list.fault) {
        fail(Place{fmt::kDefRegFile, listName, list.fault->place.row}, list.fault->message);
    }
    return list.rows.size();
}

void appendParameters(ImageWriter& out, const CommSettingsReading& settings, std::uint8_t nodeCount,
                      std::size_t readRecords, std::size_t writeRecords) {
    const Place place{fmt::kParGenFile};
    if (settings.document.status == ReadStatus::Unreadable) {
        throw DocumentError(std::string(fmt::kParGenFile), "", 0, settings.document.message,
                            settings.document.message);
    }
    for (const fmt::ParameterSlot& slot : fmt::kParameterBlock) {
        const CommField* setting = slot.requiredSetting();
        if (setting != nullptr && !settings[*setting].ok()) {
            fail(place, settings[*setting].result.message);
        }
    }
    out.reserve(0);
    out.makeRoom(fmt::kParameterBlockSize, place);
    for (const fmt::ParameterSlot& slot : fmt::kParameterBlock) {
        std::int32_t value = 0;
        switch (slot.source) {
            case fmt::ParameterSource::Setting:
                value = settings[*slot.setting].integer.value_or(0);
                break;
            case fmt::ParameterSource::Framing:
                value = framingClass(*settings[*slot.setting].integer);
                break;
            case fmt::ParameterSource::NodeCount:
                value = nodeCount;
                break;
            case fmt::ParameterSource::ReadCount:
                value = static_cast<std::int32_t>(readRecords);
                break;
            case fmt::ParameterSource::WriteCount:
                value = static_cast<std::int32_t>(writeRecords);
                break;
        }
        if (slot.width() == 1) {
            out.u8(value);
        } else {
            out.u16(value);
        }
    }
}

void requireProject(const fs::path& projectDir) {
    if (projectDir.empty()) throw Error("Project not valid");
}

}  // namespace

CompositionSummary ComposeConfigImage(ConfigImage& image, const fs::path& projectDir) {
    image.complete = false;
    requireProject(projectDir);
    image.length = fmt::kHeaderSize;
    ImageWriter out(image.buffer);
    out.u32At(fmt::kNodeTableOffsetAt, fmt::kHeaderSize);
    out.seek(fmt::kHeaderSize);

    CompositionSummary summary;
    const fs::path settingsFile = projectDir / fmt::kParGenFile;
    const bool withSettings = XmlDocument::fileExists(settingsFile);
    if (withSettings) out.reserve(fmt::kParameterBlockSize);
    const fs::path nodesFile = projectDir / fmt::kDNetNetFile;
    if (XmlDocument::fileExists(nodesFile)) {
        summary.nodes = appendNodeTable(out, nodesFile);
    }
    const auto nodeCount = static_cast<std::uint8_t>(summary.nodes);
    out.u32At(fmt::kReadMapOffsetAt, out.position());

    // Both maps come from one reading of the register map document.
    const fs::path mapFile = projectDir / fmt::kDefRegFile;
    if (XmlDocument::fileExists(mapFile)) {
        // Rows past what the image can hold are not kept: the first of them fails for room.
        const RegisterRows rows = readDocument(fmt::kDefRegFile, [&] {
            return readRegisterRows(mapFile, nodeCount, RegisterValues::Integers,
                                    fmt::kCapacity / fmt::kMapRecordSize + 1);
        });
        summary.readRecords = appendMap(out, rows.read, fmt::kReadList);
        out.u32At(fmt::kWriteMapOffsetAt, out.position());
        summary.writeRecords = appendMap(out, rows.write, fmt::kWriteList);
    } else {
        out.u32At(fmt::kWriteMapOffsetAt, out.position());
    }
    out.u32At(fmt::kParametersOffsetAt, out.position());

    if (withSettings) {
        appendParameters(out, readCommSettingsFile(settingsFile), nodeCount, summary.readRecords,
                         summary.writeRecords);
    }

    image.length = out.position();
    image.complete = true;
    summary.bytes = image.length;
    return summary;
}

fs::path configImagePath(const fs::path& projectDir) {
    return projectDir / fmt::kBinFolder / fmt::kImageFile;
}

void SaveConfigImage(const ConfigImage& image, const fs::path& projectDir) {
    requireProject(projectDir);
    saveConfigImageTo(image, configImagePath(projectDir));
}

void saveConfigImageTo(const ConfigImage& image, const fs::path& file) {
    if (!image.complete) throw Error("The configuration image is incomplete and was not written");
    const auto bytes = image.bytes();
    writeFileAtomically(
        file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace velmora
