#include "documents/register_map.h"

#include <algorithm>
#include <array>

#include "core/atomic_file.h"
#include "core/error.h"
#include "documents/integer_text.h"
#include "documents/register_map_format.h"
#include "documents/xml_document.h"

namespace velmora {

namespace names = register_map_format;

namespace {

constexpr char kNodesMessage[] = "Error in reading file PDO XML";
constexpr char kEntriesMessage[] = "Error in reading file SDOPDO XML";
constexpr char kIndexInUseMessage[] = "Index or Subindex Not Valid";
constexpr std::int32_t kHighestIndex = 65535;

// What each half of the map is called in DefReg.xml and which DeviceNet count sizes its nodes.
struct SideFormat {
    MapSide side;
    const char* listElement;
    const char* byteCountAttribute;
};
constexpr std::array<SideFormat, 2> kSides{{
    {MapSide::Read, names::kReadList, names::kNodeBytesOut},
    {MapSide::Write, names::kWriteList, names::kNodeBytesIn},
}};

std::string requiredAttribute(const XmlNode& row, const char* name) {
    auto value = row.attribute(name);
    if (!value) throw Error(std::string("Attribute \"") + name + "\" is missing");
    return *std::move(value);
}

std::int32_t requiredInteger(const std::string& text) {
    if (const auto value = parseIntegerText(text)) return *value;
    throw Error("\"" + text + "\" is not an integer");
}

XmlNode rootOf(const XmlDocument& doc) {
    if (auto root = doc.documentElement()) return *root;
    throw Error("The document has no root element");
}

// Creates both node lists from the rows of DNET_Net.xml; a failing row ends the reading,
// the nodes before it staying.
void readNodes(const std::filesystem::path& dnetNetFile, RegisterMap& map) {
    XmlDocument doc;
    doc.load(dnetNetFile);
    const XmlNode root = rootOf(doc);
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

// Places the rows of DefReg.xml on the nodes, the read list first; a failing row ends the
// placing, the entries before it staying.
void placeEntries(const std::filesystem::path& defRegFile, RegisterMap& map) {
    XmlDocument doc;
    doc.load(defRegFile);
    const XmlNode root = rootOf(doc);
    for (const SideFormat& format : kSides) {
        const auto list = root.child(format.listElement);
        if (!list) throw Error(std::string("Element \"") + format.listElement + "\" is missing");
        for (const XmlNode& row : list->children()) {
            if (!map.nodeLists) throw Error("There are no DeviceNet nodes to place registers on");
            DNNodeList& nodes = map.nodeLists->list(format.side);
            const std::int32_t nr = requiredInteger(requiredAttribute(row, names::kNrDNNode));
            // A row of a node that is no longer in the DeviceNet list is dropped silently.
            if (static_cast<std::int64_t>(nr) > static_cast<std::int64_t>(nodes.size())) continue;
            if (nr < 1) throw Error("\"" + std::string(names::kNrDNNode) + "\" is less than 1");
            std::string index = requiredAttribute(row, names::kIndex);
            std::string posComp = requiredAttribute(row, names::kPosComp);
            nodes[static_cast<std::size_t>(nr - 1)].appendEntry(
                TClIndMB(std::move(index), std::move(posComp)));
        }
    }
}

// Runs one reading step; any document failure becomes `message`, the model keeping what was read.
template <typename Step>
void readReporting(const std::filesystem::path& file, const char* message,
                   const MessageCallback& show, Step step) {
    if (!XmlDocument::fileExists(file)) return;
    try {
        step(file);
    } catch (const Error&) {
        show(message);
    }
}

struct OrderedRow {
    std::int32_t value;
    int nrDNNode;
    const TClIndMB* entry;
};

// The rows of one map in writing order: ascending index value, equal values in reverse model order.
std::vector<OrderedRow> orderedRows(const DNNodeList& nodes, const char* listElement) {
    std::vector<OrderedRow> rows;
    for (const TClDNNode& node : nodes) {
        for (const TClIndMB& entry : node.IndMBList) {
            const auto value = entry.indexValue();
            if (!value || *value < 0 || *value > kHighestIndex) {
                throw Error("The register map cannot be saved: the index \"" + entry.Index() +
                            "\" of a register of node " + std::to_string(node.NrDNNode) + " in " +
                            listElement + " is not an integer from 0 to 65535");
            }
            rows.push_back({*value, node.NrDNNode, &entry});
        }
    }
    std::reverse(rows.begin(), rows.end());
    std::stable_sort(rows.begin(), rows.end(),
                     [](const OrderedRow& a, const OrderedRow& b) { return a.value < b.value; });
    return rows;
}

void requireEntry(const TClDNNode& node, std::size_t position) {
    if (position >= node.IndMBList.size()) {
        throw Error("Node " + std::to_string(node.NrDNNode) + " has no register at position " +
                    std::to_string(position));
    }
}

Error notAnIndex(std::string_view text) {
    return Error("Index \"" + std::string(text) + "\" is not an integer");
}

}  // namespace

TClIndMB::TClIndMB(std::string index, std::string posComp) : posComp_(std::move(posComp)) {
    setIndex(std::move(index));
}

void TClIndMB::setIndex(std::string index) {
    index_ = std::move(index);
    indexValue_ = parseIntegerText(index_);
}

void TClDNNode::appendEntry(TClIndMB entry) { IndMBList.push_back(std::move(entry)); }

void TClDNNode::replaceEntry(std::size_t position, std::string index, std::string posComp) {
    requireEntry(*this, position);
    IndMBList[position].setIndex(std::move(index));
    IndMBList[position].setPosComp(std::move(posComp));
}

void TClDNNode::removeEntry(std::size_t position) {
    requireEntry(*this, position);
    IndMBList.erase(IndMBList.begin() + static_cast<std::ptrdiff_t>(position));
}

RegisterMap LoadRegisterMap(const std::filesystem::path& dnetNetFile,
                            const std::filesystem::path& defRegFile, const MessageCallback& show) {
    RegisterMap map;
    readReporting(dnetNetFile, kNodesMessage, show,
                  [&map](const std::filesystem::path& file) { readNodes(file, map); });
    readReporting(defRegFile, kEntriesMessage, show,
                  [&map](const std::filesystem::path& file) { placeEntries(file, map); });
    return map;
}

std::string RegisterMapDocument(const RegisterMap& map) {
    std::array<std::vector<OrderedRow>, kSides.size()> rows;
    if (map.nodeLists) {
        for (std::size_t i = 0; i < kSides.size(); ++i) {
            rows[i] = orderedRows(map.nodeLists->list(kSides[i].side), kSides[i].listElement);
        }
    }
    XmlDocument doc;
    XmlNode root = doc.create(names::kRoot);
    for (std::size_t i = 0; i < kSides.size(); ++i) {
        XmlNode list = root.appendChild(kSides[i].listElement);
        for (const OrderedRow& row : rows[i]) {
            XmlNode element = list.appendChild(names::kRow);
            element.setAttribute(names::kIndex, row.entry->Index());
            element.setAttribute(names::kNrDNNode, std::to_string(row.nrDNNode));
            element.setAttribute(names::kPosComp, row.entry->PosComp());
        }
    }
    return doc.serialize();
}

void SaveRegisterMap(const RegisterMap& map, const std::filesystem::path& defRegFile) {
    writeFileAtomically(defRegFile, RegisterMapDocument(map));
}

bool IndexInUse(const DNNodeList& nodes, std::string_view indexText, int exceptNode,
                int exceptEntry, const MessageCallback& show) {
    const bool excepting = exceptNode != -1 && exceptEntry != -1;
    // Taken once, but failing only where the walk would first compare it.
    const std::optional<std::int32_t> wanted = parseIntegerText(indexText);
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const auto& entries = nodes[n].IndMBList;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            const auto value = entries[e].indexValue();
            if (!value) throw notAnIndex(entries[e].Index());
            if (!wanted) throw notAnIndex(indexText);
            if (*value != *wanted) continue;
            if (excepting && static_cast<int>(n) == exceptNode &&
                static_cast<int>(e) == exceptEntry) {
                continue;
            }
            show(kIndexInUseMessage);
            return true;
        }
    }
    return false;
}

bool IndexInRange(std::string_view indexText) {
    const auto value = parseIntegerText(indexText);
    return value && *value >= 0 && *value <= kHighestIndex;
}

std::int32_t PackPosComp(std::int32_t high, std::int32_t low) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(high) * 65536u +
                                     static_cast<std::uint32_t>(low));
}

PosCompChoices UnpackPosComp(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<std::int32_t>(bits >> 16), static_cast<std::int32_t>(bits & 65535u)};
}

std::int32_t ByteChoiceCount(std::int32_t nByte) {
    return std::clamp(nByte, std::int32_t{0}, kHighestByteChoice);
}

PosCompChoices PosCompTextChoices(std::string_view posComp) {
    if (const auto value = parseIntegerText(posComp)) return UnpackPosComp(*value);
    throw Error("PosComp \"" + std::string(posComp) + "\" is not an integer");
}

std::optional<std::string> PosCompText(std::int32_t high, std::int32_t low) {
    const auto isChoice = [](std::int32_t choice) {
        return choice >= 0 && choice <= kHighestByteChoice;
    };
    if (!isChoice(high) || !isChoice(low)) return std::nullopt;
    return std::to_string(PackPosComp(high, low));
}

}  // namespace velmora
