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

// What each half of the map is called in DefReg.xml.
struct SideFormat {
    MapSide side;
    const char* listElement;
};
constexpr std::array<SideFormat, 2> kSides{{
    {MapSide::Read, names::kReadList},
    {MapSide::Write, names::kWriteList},
}};

// A register row of DefReg.xml placed on a node; the texts live as long as the row read.
struct RegisterRowPlace {
    std::int32_t node = 0;  // "NrDNNode": the node's position in DNET_Net.xml, from 1
    std::string_view index;
    std::string_view posComp;
};

// The one placement rule of a register row on `nodeCount` nodes: none when "NrDNNode" is above
// the count (nothing more of the row is read); refused below 1; then "Index" and "PosComp" are
// read in that order. Throws velmora::Error saying what failed ("attribute \"PosComp\" is
// missing").
std::optional<RegisterRowPlace> placeRegisterRow(const XmlStreamElement& row, std::size_t nodeCount,
                                                 RegisterValues values) {
    const std::int32_t node = integerAttribute(row, names::kNrDNNode);
    // A row of a node that is no longer in the DeviceNet list is dropped silently.
    if (static_cast<std::int64_t>(node) > static_cast<std::int64_t>(nodeCount)) return std::nullopt;
    if (node < 1) {
        throw Error(std::string("attribute \"") + names::kNrDNNode + "\" is " +
                    std::to_string(node) + ", but node positions start at 1");
    }
    RegisterRowPlace place{node, {}, {}};
    const auto value = [&](const char* name) {
        if (values == RegisterValues::Integers) integerAttribute(row, name);
        return requiredAttribute(row, name);
    };
    place.index = value(names::kIndex);
    place.posComp = value(names::kPosComp);
    return place;
}

// Takes the rows of the first list of each name under the root until one fails.
class RegisterRowsReader : public XmlStreamHandler {
public:
    RegisterRowsReader(std::optional<std::size_t> nodeCount, RegisterValues values,
                       std::size_t limit)
        : nodeCount_(nodeCount), values_(values), limit_(limit) {}

    void element(const XmlStreamElement& element) override {
        if (element.depth() == 2) {
            list_ = nullptr;
            for (const SideFormat& format : kSides) {
                RegisterListRows& list = rows_.list(format.side);
                if (!list.present && element.name() == format.listElement) {
                    list.present = true;
                    list_ = &list;
                    number_ = 0;
                }
            }
        } else if (element.depth() == 3) {
            take([&] {
                if (const auto place = placeRegisterRow(element, *nodeCount_, values_)) {
                    list_->rows.push_back({number_, place->node, std::string(place->index),
                                           std::string(place->posComp)});
                }
            });
        }
    }
    void otherNode(int depth, std::string_view name) override {
        if (depth == 3) {
            take([&] { throw Error(notAnElement(name)); });
        }
    }

    RegisterRows take() { return std::move(rows_); }

private:
    // Runs `step` on the next child of the list being read; without nodes every child fails.
    template <typename Step>
    void take(Step step) {
        if (list_ == nullptr || list_->fault || list_->rows.size() >= limit_) return;
        ++number_;
        try {
            if (!nodeCount_) throw Error("There are no DeviceNet nodes to place registers on");
            step();
        } catch (const Error& e) {
            list_->fault = RowFault{number_, e.what()};
        }
    }

    std::optional<std::size_t> nodeCount_;
    RegisterValues values_;
    std::size_t limit_;
    RegisterRows rows_;
    RegisterListRows* list_ = nullptr;  // the list whose rows are being read, if any
    std::size_t number_ = 0;
};

// Creates both node lists from the rows of DNET_Net.xml; a failing row ends the reading,
// the nodes before it staying.
void readNodes(const std::filesystem::path& dnetNetFile, RegisterMap& map) {
    DNetNodeRows read = readDNetNodeRows(dnetNetFile);
    DNNodeLists& lists = map.nodeLists.emplace();
    int position = 0;
    for (DNetNodeRow& row : read.rows) {
        ++position;
        lists.DNNodeListRead.push_back(
            {row.id, position, row.idText, std::move(row.outText), row.bytesOut, {}});
        lists.DNNodeListWrite.push_back(
            {row.id, position, std::move(row.idText), std::move(row.inText), row.bytesIn, {}});
    }
    if (read.fault) throw Error(read.fault->what);
}

// Places the rows of DefReg.xml on the nodes, the read list first; a failing row ends the
// placing, the entries before it staying.
void placeEntries(const std::filesystem::path& defRegFile, RegisterMap& map) {
    std::optional<std::size_t> nodeCount;
    if (map.nodeLists) nodeCount = map.nodeLists->DNNodeListRead.size();
    RegisterRows read = readRegisterRows(defRegFile, nodeCount, RegisterValues::Texts);
    for (const SideFormat& format : kSides) {
        RegisterListRows& list = read.list(format.side);
        if (!list.present) {
            throw Error(std::string("Element \"") + format.listElement + "\" is missing");
        }
        for (PlacedRegisterRow& row : list.rows) {
            DNNodeList& nodes = map.nodeLists->list(format.side);
            nodes[static_cast<std::size_t>(row.node - 1)].appendEntry(
                TClIndMB(std::move(row.index), std::move(row.posComp)));
        }
        if (list.fault) throw Error(list.fault->what);
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
                throw Error("The register map cannot be saved: the index " +
                            quotedValue(entry.Index()) + " of a register of node " +
                            std::to_string(node.NrDNNode) + " in " + listElement +
                            " is not an integer from 0 to 65535");
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
    return Error("Index " + quotedValue(text) + " is not an integer");
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

RegisterRows readRegisterRows(const std::filesystem::path& defRegFile,
                              std::optional<std::size_t> nodeCount, RegisterValues values,
                              std::size_t limit) {
    RegisterRowsReader reader(nodeCount, values, limit);
    readXmlStream(defRegFile, reader);
    return reader.take();
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
    XmlMarkupWriter out;
    out.open(names::kRoot);
    for (std::size_t i = 0; i < kSides.size(); ++i) {
        out.open(kSides[i].listElement);
        for (const OrderedRow& row : rows[i]) {
            out.open(names::kRow);
            out.attribute(names::kIndex, row.entry->Index());
            out.attribute(names::kNrDNNode, std::to_string(row.nrDNNode));
            out.attribute(names::kPosComp, row.entry->PosComp());
            out.close();
        }
        out.close();
    }
    out.close();
    return out.take();
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
    throw Error("PosComp " + quotedValue(posComp) + " is not an integer");
}

std::optional<std::string> PosCompText(std::int32_t high, std::int32_t low) {
    const auto isChoice = [](std::int32_t choice) {
        return choice >= 0 && choice <= kHighestByteChoice;
    };
    if (!isChoice(high) || !isChoice(low)) return std::nullopt;
    return std::to_string(PackPosComp(high, low));
}

}  // namespace velmora
