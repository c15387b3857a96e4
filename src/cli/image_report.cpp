#include "cli/image_report.h"

#include <iomanip>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/report_text.h"
#include "image/image_format.h"
#include "image/parameter_block.h"

namespace velmora::cli {

namespace fmt = image_format;

namespace {

// A byte choice as the register map dialog names it: "None" or "Byte<k>".
std::string byteChoice(std::uint16_t choice) {
    return choice == 0 ? std::string("None") : "Byte" + std::to_string(choice);
}

// The DeviceNet ID of the node at `position`, or none when the node table has no such node.
std::optional<int> nodeId(const DecodedImage& image, std::uint8_t position) {
    if (position >= image.nodes.size()) return std::nullopt;
    return image.nodes[position].id;
}

// A coded parameter with its meaning.
struct Coded {
    const char* label;  // text report
    const char* key;    // JSON
    std::uint32_t value;
    std::span<const std::string_view> names;  // empty for a plain number
};

std::vector<Coded> parameterFields(const DecodedParameters& p) {
    std::vector<Coded> fields;
    for (const fmt::ParameterSlot& slot : fmt::kParameterBlock) {
        fields.push_back({slot.label, slot.key, slot.valueIn(p), slot.names});
    }
    return fields;
}

void writeMapText(const std::vector<DecodedRegister>& map, const DecodedImage& image,
                  const char* title, std::ostream& out) {
    out << title << ": " << plural(map.size(), "record") << "\n";
    if (map.empty()) return;
    out << "  Index  Node   ID  High    Low\n";
    for (const DecodedRegister& reg : map) {
        const auto id = nodeId(image, reg.nodePosition);
        // Node positions count from 1 for a person, as check and map count them.
        out << "  " << std::setw(5) << reg.index << "  " << std::setw(4)
            << int{reg.nodePosition} + 1 << "  " << std::setw(3)
            << (id ? std::to_string(*id) : std::string("?")) << "  " << std::left << std::setw(6)
            << byteChoice(reg.highByte()) << "  " << byteChoice(reg.lowByte()) << std::right
            << "\n";
    }
}

void writeMapJson(const std::vector<DecodedRegister>& map, const DecodedImage& image,
                  std::ostream& out) {
    out << "[";
    for (std::size_t i = 0; i < map.size(); ++i) {
        const DecodedRegister& reg = map[i];
        const auto id = nodeId(image, reg.nodePosition);
        out << (i ? "," : "") << "\n    {\"index\": " << reg.index
            << ", \"posComp\": " << reg.posComp << ", \"nodePosition\": " << int{reg.nodePosition}
            << ", \"nodeId\": " << (id ? std::to_string(*id) : std::string("null"))
            << ", \"high\": " << jsonString(byteChoice(reg.highByte()))
            << ", \"highByte\": " << reg.highByte()
            << ", \"low\": " << jsonString(byteChoice(reg.lowByte()))
            << ", \"lowByte\": " << reg.lowByte() << "}";
    }
    out << (map.empty() ? "]" : "\n  ]");
}

}  // namespace

void writeImageText(const DecodedImage& image, std::ostream& out) {
    out << "Configuration image: " << image.length << " bytes\n"
        << "Fingerprint: " << image.fingerprint << " (SHA-256, first 8 hex digits)\n"
        << "Header: node table at " << image.nodeTableOffset << ", read map at "
        << image.readMapOffset << ", write map at " << image.writeMapOffset
        << ", parameter block at " << image.parametersOffset << "\n";

    out << "Node table: " << plural(image.nodes.size(), "node") << "\n";
    if (!image.nodes.empty()) out << "  Pos   ID     IN    OUT  In start  Out start\n";
    for (std::size_t i = 0; i < image.nodes.size(); ++i) {
        const DecodedNode& n = image.nodes[i];
        out << "  " << std::setw(3) << i + 1 << "  " << std::setw(3) << int{n.id} << "  "
            << std::setw(5) << n.bytesIn << "  " << std::setw(5) << n.bytesOut << "  "
            << std::setw(8) << n.inputStart << "  " << std::setw(9) << n.outputStart << "\n";
    }
    writeMapText(image.readMap, image, "Read map", out);
    writeMapText(image.writeMap, image, "Write map", out);

    if (!image.parameters) {
        out << "Parameter block: absent\n";
        return;
    }
    out << "Parameter block:\n";
    for (const Coded& field : parameterFields(*image.parameters)) {
        out << "  " << std::left << std::setw(16) << field.label << std::right;
        if (field.names.empty()) {
            out << field.value << "\n";
        } else {
            const auto meaning = labelAt(field.names, field.value);
            out << (meaning ? std::string(*meaning) : std::string("unknown")) << " (" << field.value
                << ")\n";
        }
    }
}

void writeImageJson(const DecodedImage& image, std::ostream& out) {
    out << "{\n  \"length\": " << image.length
        << ",\n  \"fingerprint\": " << jsonString(image.fingerprint)
        << ",\n  \"header\": {\"nodeTable\": " << image.nodeTableOffset
        << ", \"readMap\": " << image.readMapOffset << ", \"writeMap\": " << image.writeMapOffset
        << ", \"parameters\": " << image.parametersOffset << "},\n  \"nodes\": [";
    for (std::size_t i = 0; i < image.nodes.size(); ++i) {
        const DecodedNode& n = image.nodes[i];
        out << (i ? "," : "") << "\n    {\"position\": " << i << ", \"id\": " << int{n.id}
            << ", \"in\": " << n.bytesIn << ", \"out\": " << n.bytesOut
            << ", \"inputStart\": " << n.inputStart << ", \"outputStart\": " << n.outputStart
            << "}";
    }
    out << (image.nodes.empty() ? "]" : "\n  ]") << ",\n  \"readMap\": ";
    writeMapJson(image.readMap, image, out);
    out << ",\n  \"writeMap\": ";
    writeMapJson(image.writeMap, image, out);
    out << ",\n  \"parameters\": ";
    if (!image.parameters) {
        out << "null";
    } else {
        out << "{";
        bool first = true;
        for (const Coded& field : parameterFields(*image.parameters)) {
            out << (first ? "" : ",") << "\n    " << jsonString(field.key) << ": ";
            first = false;
            if (field.names.empty()) {
                out << field.value;
            } else {
                const auto meaning = labelAt(field.names, field.value);
                out << "{\"value\": " << field.value
                    << ", \"meaning\": " << (meaning ? jsonString(*meaning) : std::string("null"))
                    << "}";
            }
        }
        out << "\n  }";
    }
    out << ",\n  \"problems\": [";
    for (std::size_t i = 0; i < image.problems.size(); ++i) {
        out << (i ? ", " : "") << jsonString(image.problems[i]);
    }
    out << "]\n}\n";
}

}  // namespace velmora::cli
