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

constexpr char kNoNodes[] = "There are no DeviceNet nodes to place registers on";

// The attribute of each value of a register row.
constexpr std::array<const char*, kRegisterFieldCount> kRegisterAttributes = {
    names::kNrDNNode, names::kIndex, names::kPosComp};

// The one placement rule of a register row on `nodeCount` nodes (none: no DeviceNet list),
// read into `row`: dropped when "NrDNNode" is above the count (nothing more of the row is read);
// refused below 1; then "Index" and "PosComp" are read in that order.
void placeRegisterRow(RegisterRowReading& row, const XmlStreamElement& element,
                      const ReadPlace& place, std::optional<std::size_t> nodeCount) {
    row.row = {ReadStatus::Ok, place, {}};
    row.dropped = false;
    // The values from `first` on are not read.
    const auto unread = [&row](std::size_t first) {
        for (std::size_t field = first; field < kRegisterFieldCount; ++field) {
            row.values[field] = ReadValue{};
        }
    };
    if (!nodeCount) {
        row.row = {ReadStatus::NoNodes, place, kNoNodes};
        unread(kRegisterNode);
        return;
    }
    const auto value = [&](RegisterField field) -> const ReadValue& {
        const char* name = kRegisterAttributes[field];
        readAttributeValue(row.values[field], element.attribute(name),
                           ReadPlace{place.list, place.row, name}, ValueKind::Integer);
        return row.values[field];
    };
    const ReadValue& node = value(kRegisterNode);
    // A row of a node that is no longer in the DeviceNet list is dropped silently.
    row.dropped = node.integer &&
                  static_cast<std::int64_t>(*node.integer) > static_cast<std::int64_t>(*nodeCount);
    if (!node.integer || row.dropped) {
        unread(kRegisterIndex);
        return;
    }
    if (*node.integer < 1) {
        row.row = {ReadStatus::OutOfRange, place,
                   std::string("attribute \"") + names::kNrDNNode + "\" is " +
                       std::to_string(*node.integer) + ", but node positions start at 1"};
        unread(kRegisterIndex);
        return;
    }
    value(kRegisterIndex);
    value(kRegisterPosComp);
}

// Passes the rows of the first list of each name under the root to a sink.
class RegisterRowsReader : public XmlStreamHandler {
public:
    RegisterRowsReader(std::optional<std::size_t> nodeCount, RegisterRowSink& sink)
        : nodeCount_(nodeCount), sink_(sink) {}

    void element(const XmlStreamElement& element) override {
        if (element.depth() == 2) {
            list_.reset();
            for (const SideFormat& format : kSides) {
                bool& found = found_[format.side == MapSide::Read ? 0 : 1];
                if (!found && element.name() == format.listElement) {
                    found = true;
                    list_ = format;
                    number_ = 0;
                    sink_.list(format.side);
                }
            }
        } else if (element.depth() == 3 && list_) {
            placeRegisterRow(row_, element, next(), nodeCount_);
            sink_.row(list_->side, row_);
        }
    }
    void otherNode(int depth, std::string_view name) override {
        if (depth != 3 || !list_) return;
        const ReadPlace place = next();
        RegisterRowReading row;
        row.row = nodeCount_ ? notAnElement(place, name)
                             : ReadResult{ReadStatus::NoNodes, place, kNoNodes};
        sink_.row(list_->side, row);
    }

private:
    ReadPlace next() { return ReadPlace{list_->listElement, ++number_, {}}; }

    std::optional<std::size_t> nodeCount_;
    RegisterRowSink& sink_;
    std::array<bool, 2> found_{};
    std::optional<SideFormat> list_;  // the list whose rows are being read, if any
    std::size_t number_ = 0;
    RegisterRowReading row_;  // every row is read into this one
};

// Keeps every row met.
class WholeReading : public RegisterRowSink {
public:
    void list(MapSide side) override { of(side).list = {}; }
    void row(MapSide side, const RegisterRowReading& row) override { of(side).rows.push_back(row); }

    RegisterMapReading reading;

private:
    RegisterListReading& of(MapSide side) {
        return side == MapSide::Read ? reading.read : reading.write;
    }
};

// Keeps the placed rows of each list up to its first fault or the limit.
class PlacedRows : public RegisterRowSink {
public:
    PlacedRows(RegisterValues values, std::size_t limit) : values_(values), limit_(limit) {}

    void list(MapSide side) override { rows.list(side).present = true; }
    void row(MapSide side, const RegisterRowReading& row) override {
        RegisterListRows& list = rows.list(side);
        if (list.fault || list.rows.size() >= limit_) return;
        if (const auto fault = faultOf(row)) {
            list.fault = *fault;
            return;
        }
        if (row.dropped) return;
        const auto& values = row.values;
        list.rows.push_back({row.row.place.row, *values[kRegisterNode].integer,
                             *values[kRegisterIndex].text, *values[kRegisterPosComp].text});
    }

    RegisterRows rows;

private:
    // What keeps the row from being placed with the values needed.
    std::optional<ReadResult> faultOf(const RegisterRowReading& row) const {
        if (!row.row.ok()) return row.row;
        if (!row.values[kRegisterNode].ok()) return row.values[kRegisterNode].result;
        if (row.dropped) return std::nullopt;
        for (const RegisterField field : {kRegisterIndex, kRegisterPosComp}) {
            const ReadResult& result = row.values[field].result;
            const bool needed = values_ == RegisterValues::Integers
                                    ? !result.ok()
                                    : result.status == ReadStatus::Missing;
            if (needed) return result;
        }
        return std::nullopt;
    }

    RegisterValues values_;
    std::size_t limit_;
};

// Creates both node lists from the rows of DNET_Net.xml; a failing row ends the reading,
// the nodes before it staying. False when the document cannot be read completely.
bool readNodes(const std::filesystem::path& dnetNetFile, RegisterMap& map) {
    const DNetNetworkReading reading = readDNetNetworkDocument(dnetNetFile);
    if (!reading.document.ok()) return false;
    DNetNodeRows read = dnetNodeRows(reading);
    DNNodeLists& lists = map.nodeLists.emplace();
    int position = 0;
    for (DNetNodeRow& row : read.rows) {
        ++position;
        lists.DNNodeListRead.push_back(
            {row.id, position, row.idText, std::move(row.outText), row.bytesOut, {}});
        lists.DNNodeListWrite.push_back(
            {row.id, position, std::move(row.idText), std::move(row.inText), row.bytesIn, {}});
    }
    return !read.fault;
}

// Places the rows of DefReg.xml on the nodes, the read list first; a failing row ends the
// placing, the entries before it staying. False when the document cannot be placed completely.
bool placeEntries(const std::filesystem::path& defRegFile, RegisterMap& map) {
    std::optional<std::size_t> nodeCount;
    if (map.nodeLists) nodeCount = map.nodeLists->DNNodeListRead.size();
    PlacedRows placed(RegisterValues::Texts, std::numeric_limits<std::size_t>::max());
    if (!readRegisterMapRows(defRegFile, nodeCount, placed).ok()) return false;
    for (const SideFormat& format : kSides) {
        RegisterListRows& list = placed.rows.list(format.side);
        if (!list.present) return false;
        for (PlacedRegisterRow& row : list.rows) {
            DNNodeList& nodes = map.nodeLists->list(format.side);
            nodes[static_cast<std::size_t>(row.node - 1)].appendEntry(
                TClIndMB(std::move(row.index), std::move(row.posComp)));
        }
        if (list.fault) return false;
    }
    return true;
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

ReadResult readRegisterMapRows(const std::filesystem::path& defRegFile,
                               std::optional<std::size_t> nodeCount, RegisterRowSink& sink) {
    RegisterRowsReader reader(nodeCount, sink);
    return readDocumentFile(
        defRegFile, [&reader](const std::filesystem::path& file) { readXmlStream(file, reader); });
}

RegisterMapReading readRegisterMapDocument(const std::filesystem::path& defRegFile,
                                           std::optional<std::size_t> nodeCount) {
    WholeReading whole;
    whole.reading.document = readRegisterMapRows(defRegFile, nodeCount, whole);
    return std::move(whole.reading);
}

RegisterRows readRegisterRows(const std::filesystem::path& defRegFile,
                              std::optional<std::size_t> nodeCount, RegisterValues values,
                              std::size_t limit) {
    PlacedRows placed(values, limit);
    requireReadable(readRegisterMapRows(defRegFile, nodeCount, placed));
    return std::move(placed.rows);
}

RegisterMapLoad LoadRegisterMap(const std::filesystem::path& dnetNetFile,
                                const std::filesystem::path& defRegFile) {
    RegisterMapLoad load;
    if (XmlDocument::fileExists(dnetNetFile) && !readNodes(dnetNetFile, load.map)) {
        load.messages.emplace_back(kNodesMessage);
    }
    if (XmlDocument::fileExists(defRegFile) && !placeEntries(defRegFile, load.map)) {
        load.messages.emplace_back(kEntriesMessage);
    }
    return load;
}

std::string registerMapDocument(const RegisterMap& map) {
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
    writeFileAtomically(defRegFile, registerMapDocument(map));
}

bool IndexInUse(const DNNodeList& nodes, std::string_view indexText, int exceptNode,
                int exceptEntry) {
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

std::int32_t byteChoiceCount(std::int32_t nByte) {
    return std::clamp(nByte, std::int32_t{0}, kHighestByteChoice);
}

PosCompChoices posCompTextChoices(std::string_view posComp) {
    if (const auto value = parseIntegerText(posComp)) return UnpackPosComp(*value);
    throw Error("PosComp " + quotedValue(posComp) + " is not an integer");
}

std::optional<std::string> posCompText(std::int32_t high, std::int32_t low) {
    const auto isChoice = [](std::int32_t choice) {
        return choice >= 0 && choice <= kHighestByteChoice;
    };
    if (!isChoice(high) || !isChoice(low)) return std::nullopt;
    return std::to_string(PackPosComp(high, low));
}

}  // namespace velmora
