#include "image/tree_reading.h"

#include <cstdint>
#include <string_view>
#include <tuple>

#include "core/error.h"
#include "documents/integer_text.h"
#include "documents/register_map_format.h"
#include "documents/xml_document.h"
#include "image/image_format.h"

namespace velmora::tree_reading {

namespace {

namespace fs = std::filesystem;
namespace fmt = image_format;
namespace names = register_map_format;

// ---- the register map model

std::string requiredAttribute(const XmlNode& row, const char* name) {
    auto value = row.attribute(name);
    if (!value) throw Error(std::string("Attribute \"") + name + "\" is missing");
    return *std::move(value);
}

std::int32_t requiredInteger(const std::string& text) {
    if (const auto value = parseIntegerText(text)) return *value;
    throw Error("\"" + text + "\" is not an integer");
}

void readNodes(const fs::path& dnetNetFile, RegisterMap& map) {
    XmlDocument doc;
    doc.load(dnetNetFile);
    const XmlNode root = *doc.documentElement();
    DNNodeLists& lists = map.nodeLists.emplace();
    int position = 0;
    for (const XmlNode& row : root.children()) {
        ++position;
        const std::string idText = requiredAttribute(row, names::kNodeId);
        const std::string outText = requiredAttribute(row, names::kNodeBytesOut);
        const std::string inText = requiredAttribute(row, names::kNodeBytesIn);
        const std::int32_t out = requiredInteger(outText);
        const std::int32_t in = requiredInteger(inText);
        const std::int32_t id = requiredInteger(idText);
        lists.DNNodeListRead.push_back({id, position, idText, outText, out, {}});
        lists.DNNodeListWrite.push_back({id, position, idText, inText, in, {}});
    }
}

void placeEntries(const fs::path& defRegFile, RegisterMap& map) {
    XmlDocument doc;
    doc.load(defRegFile);
    const XmlNode root = *doc.documentElement();
    for (const auto& [side, listElement] : {std::pair{MapSide::Read, names::kReadList},
                                            std::pair{MapSide::Write, names::kWriteList}}) {
        const auto list = root.child(listElement);
        if (!list) throw Error("list missing");
        for (const XmlNode& row : list->children()) {
            if (!map.nodeLists) throw Error("no nodes");
            DNNodeList& nodes = map.nodeLists->list(side);
            const std::int32_t nr = requiredInteger(requiredAttribute(row, names::kNrDNNode));
            if (static_cast<std::int64_t>(nr) > static_cast<std::int64_t>(nodes.size())) continue;
            if (nr < 1) throw Error("below 1");
            std::string index = requiredAttribute(row, names::kIndex);
            std::string posComp = requiredAttribute(row, names::kPosComp);
            nodes[static_cast<std::size_t>(nr - 1)].appendEntry(
                TClIndMB(std::move(index), std::move(posComp)));
        }
    }
}

// ---- the composer

// Where a value was read: the document, the list ("" for none) and the row (0 for none).
using Place = std::tuple<std::string, std::string, std::size_t>;

[[noreturn]] void fail(const Place& place, const std::string& what) {
    throw DocumentError(std::get<0>(place), std::get<1>(place), std::get<2>(place), what);
}

std::int32_t integerAttribute(const XmlNode& row, const char* name, const Place& place) {
    if (!row.isElement()) fail(place, "node " + quotedValue(row.name()) + " is not an element");
    const auto text = row.attribute(name);
    if (!text) fail(place, "attribute " + quotedValue(name) + " is missing");
    const auto value = parseIntegerText(*text);
    if (!value)
        fail(place, "attribute " + quotedValue(name) + " is not an integer: " + quotedValue(*text));
    return *value;
}

// Little-endian fields from the end of the header on, each the low-order bytes of its value.
struct Fields {
    std::vector<std::uint8_t>& image;
    std::uint32_t end = fmt::kHeaderSize;

    void room(std::uint32_t size, const Place& place) const {
        if (end + size > image.size()) {
            fail(place,
                 "the configuration image would exceed " + std::to_string(image.size()) + " bytes");
        }
    }
    void at(std::uint32_t offset, std::uint32_t value, std::uint32_t width) {
        for (std::uint32_t i = 0; i < width; ++i) image.at(offset + i) = value >> (8 * i) & 0xFF;
    }
    void add(std::int32_t value, std::uint32_t width) {
        at(end, static_cast<std::uint32_t>(value), width);
        end += width;
    }
};

// A document that cannot be read keeps the parser's text and is located in `document`.
void load(XmlDocument& doc, const fs::path& file, std::string_view document) {
    try {
        doc.load(file);
    } catch (const Error& e) {
        throw DocumentError(std::string(document), "", 0, e.what(), e.what());
    }
}

std::size_t appendNodeTable(Fields& out, const XmlNode& root) {
    std::uint16_t inputStart = 0;
    std::uint16_t outputStart = 0;
    std::size_t number = 0;
    for (const XmlNode& row : root.children()) {
        const Place place{fmt::kDNetNetFile, "", ++number};
        const std::int32_t id = integerAttribute(row, fmt::kNodeId, place);
        const std::int32_t bytesIn = integerAttribute(row, fmt::kNodeBytesIn, place);
        const std::int32_t bytesOut = integerAttribute(row, fmt::kNodeBytesOut, place);
        out.room(fmt::kNodeRecordSize, place);
        out.add(id, 1);
        out.add(bytesIn, 2);
        out.add(bytesOut, 2);
        out.add(inputStart, 2);
        out.add(outputStart, 2);
        inputStart = static_cast<std::uint16_t>(inputStart + static_cast<std::uint16_t>(bytesIn));
        outputStart =
            static_cast<std::uint16_t>(outputStart + static_cast<std::uint16_t>(bytesOut));
    }
    return number;
}

void appendMap(Fields& out, const XmlNode& root, const char* listName, std::uint8_t nodeCount) {
    const auto list = root.child(listName);
    if (!list) {
        fail(Place{fmt::kDefRegFile, "", 0},
             "element " + quotedValue(listName) + " is missing under the root");
    }
    std::size_t number = 0;
    for (const XmlNode& row : list->children()) {
        const Place place{fmt::kDefRegFile, listName, ++number};
        const std::int32_t node = integerAttribute(row, fmt::kRowNode, place);
        if (node > static_cast<std::int32_t>(nodeCount)) continue;
        if (node < 1) {
            fail(place, "attribute " + quotedValue(fmt::kRowNode) + " is " + std::to_string(node) +
                            ", but node positions start at 1");
        }
        const std::int32_t index = integerAttribute(row, fmt::kRowIndex, place);
        const std::int32_t posComp = integerAttribute(row, fmt::kRowPosComp, place);
        out.room(fmt::kMapRecordSize, place);
        out.add(index, 2);
        out.add(posComp, 4);
        out.add(node - 1, 1);
    }
}

}  // namespace

std::string failureText(const Error& error) {
    std::string text = error.what();
    if (const auto* located = dynamic_cast<const DocumentError*>(&error)) {
        text += "\n(located: " + located->located() + ")";
    }
    return text;
}

RegisterMap loadRegisterMap(const fs::path& dnetNetFile, const fs::path& defRegFile,
                            const MessageCallback& show) {
    RegisterMap map;
    const auto step = [&](const fs::path& file, const char* message, auto read) {
        if (!XmlDocument::fileExists(file)) return;
        try {
            read(file, map);
        } catch (const Error&) {
            show(message);
        }
    };
    step(dnetNetFile, "Error in reading file PDO XML", readNodes);
    step(defRegFile, "Error in reading file SDOPDO XML", placeEntries);
    return map;
}

std::string composeConfigImage(ConfigImage& image, const fs::path& projectDir) {
    image.complete = false;
    image.length = fmt::kHeaderSize;
    Fields out{image.buffer};
    try {
        out.at(fmt::kNodeTableOffsetAt, fmt::kHeaderSize, 4);
        XmlDocument doc;
        std::size_t nodes = 0;
        const fs::path nodesFile = projectDir / fmt::kDNetNetFile;
        if (XmlDocument::fileExists(nodesFile)) {
            load(doc, nodesFile, fmt::kDNetNetFile);
            nodes = appendNodeTable(out, *doc.firstNode());
        }
        out.at(fmt::kReadMapOffsetAt, out.end, 4);
        const fs::path mapFile = projectDir / fmt::kDefRegFile;
        if (XmlDocument::fileExists(mapFile)) {
            load(doc, mapFile, fmt::kDefRegFile);
            const XmlNode root = *doc.firstNode();
            appendMap(out, root, fmt::kReadList, static_cast<std::uint8_t>(nodes));
            out.at(fmt::kWriteMapOffsetAt, out.end, 4);
            appendMap(out, root, fmt::kWriteList, static_cast<std::uint8_t>(nodes));
        } else {
            out.at(fmt::kWriteMapOffsetAt, out.end, 4);
        }
        out.at(fmt::kParametersOffsetAt, out.end, 4);
    } catch (const Error& e) {
        return failureText(e);
    }
    image.length = out.end;
    image.complete = true;
    return {};
}

}  // namespace velmora::tree_reading
