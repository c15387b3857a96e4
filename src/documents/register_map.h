#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "documents/document_reading.h"

namespace velmora {

// What the register map dialog shows when a document cannot be read completely, and when an
// index is already in use.
inline constexpr char kNodesMessage[] = "Error in reading file PDO XML";
inline constexpr char kEntriesMessage[] = "Error in reading file SDOPDO XML";
inline constexpr char kIndexInUseMessage[] = "Index or Subindex Not Valid";

// One register entry of a map: its index text and packed byte choices, both kept as text.
class TClIndMB {
public:
    TClIndMB(std::string index, std::string posComp);

    const std::string& Index() const { return index_; }
    const std::string& PosComp() const { return posComp_; }
    // The integer value of Index(), taken once when the text is set; empty when not an integer
    // text.
    std::optional<std::int32_t> indexValue() const { return indexValue_; }

    void setIndex(std::string index);
    void setPosComp(std::string posComp) { posComp_ = std::move(posComp); }

private:
    std::string index_;
    std::string posComp_;
    std::optional<std::int32_t> indexValue_;
};

// One DeviceNet node of one map, owning its register entries in order.
struct TClDNNode {
    std::int32_t ID = 0;
    // 1-based position of the node's row in DNET_Net.xml.
    int NrDNNode = 0;
    std::string IDText;
    // "NB_OUT" for a node of the read map, "NB_IN" for one of the write map.
    std::string NByteText;
    std::int32_t NByte = 0;
    std::vector<TClIndMB> IndMBList;

    // Adds `entry` after the last entry.
    void appendEntry(TClIndMB entry);
    // Replaces the index and byte choices of the entry at `position`; throws Error when there is
    // none.
    void replaceEntry(std::size_t position, std::string index, std::string posComp);
    // Removes the entry at `position`, the others keeping their order; throws Error when there is
    // none.
    void removeEntry(std::size_t position);
};

using DNNodeList = std::vector<TClDNNode>;

// The two halves of a map: the read map on the nodes' output bytes, the write map on their input
// bytes.
enum class MapSide { Read, Write };

// One node per DeviceNet row in both lists; node i of either list has NrDNNode i + 1.
struct DNNodeLists {
    DNNodeList DNNodeListRead;
    DNNodeList DNNodeListWrite;

    DNNodeList& list(MapSide side) {
        return side == MapSide::Read ? DNNodeListRead : DNNodeListWrite;
    }
    const DNNodeList& list(MapSide side) const {
        return side == MapSide::Read ? DNNodeListRead : DNNodeListWrite;
    }
};

// The register map model. No node lists (DNET_Net.xml missing or unreadable) differs from
// empty ones: only with node lists can register rows be placed or skipped.
struct RegisterMap {
    std::optional<DNNodeLists> nodeLists;
};

// The values of a row of DefReg.xml, in the order they are read.
enum RegisterField : std::size_t {
    kRegisterNode,
    kRegisterIndex,
    kRegisterPosComp,
    kRegisterFieldCount
};

// One child of a list of DefReg.xml as read and placed on the DeviceNet nodes. Its row is
// NotAnElement for a child of another kind and NoNodes without a DeviceNet list, and then no
// value is read; otherwise "NrDNNode" is read first, and when it names a node after the last the
// row is dropped and nothing more is read; a position below 1 makes the row OutOfRange; only then
// are "Index" and "PosComp" read. All three are taken as integer texts.
struct RegisterRowReading {
    ReadResult row;
    bool dropped = false;
    std::array<ReadValue, kRegisterFieldCount> values;
};

// Receives what a reading of DefReg.xml meets, in document order.
class RegisterRowSink {
public:
    virtual ~RegisterRowSink() = default;
    // The list of `side` starts: the first child of the root with its name.
    virtual void list(MapSide side) = 0;
    // A child of that list.
    virtual void row(MapSide side, const RegisterRowReading& row) = 0;
};

// Reads DefReg.xml as a stream, passing `sink` the first "Modbus_Read" and the first
// "Modbus_Write" under the root and every child of theirs, placed on `nodeCount` nodes (none: no
// DeviceNet list). Returns the document's outcome: Missing without such a plain file, Unreadable,
// whatever the sink got before, when it cannot be read or is not well-formed XML.
ReadResult readRegisterMapRows(const std::filesystem::path& defRegFile,
                               std::optional<std::size_t> nodeCount, RegisterRowSink& sink);

// One list of DefReg.xml as read: Missing when the root has no child of its name.
struct RegisterListReading {
    ReadResult list{ReadStatus::Missing, {}, {}};
    std::vector<RegisterRowReading> rows;
};

// The whole reading of DefReg.xml, every row of both lists, read on past faulty ones.
struct RegisterMapReading {
    ReadResult document;
    RegisterListReading read;
    RegisterListReading write;

    const RegisterListReading& list(MapSide side) const {
        return side == MapSide::Read ? read : write;
    }
};

// Reads every row of DefReg.xml as readRegisterMapRows does.
RegisterMapReading readRegisterMapDocument(const std::filesystem::path& defRegFile,
                                           std::optional<std::size_t> nodeCount);

// How the values of a placed register row are needed: as texts, as the model keeps them, or as
// integer texts, as the composer packs them.
enum class RegisterValues { Texts, Integers };

// One placed row of a list, kept beyond the reading.
struct PlacedRegisterRow {
    std::size_t row = 0;  // among the list's children, from 1
    std::int32_t node = 0;
    std::string index;
    std::string posComp;
    bool operator==(const PlacedRegisterRow&) const = default;
};

// The placed rows of one list of DefReg.xml: whether the list is there, its placed rows in
// order, and the first row that failed (no row after it is kept).
struct RegisterListRows {
    bool present = false;
    std::vector<PlacedRegisterRow> rows;
    std::optional<ReadResult> fault;
};

// The placed rows of both lists of DefReg.xml.
struct RegisterRows {
    RegisterListRows read;
    RegisterListRows write;

    RegisterListRows& list(MapSide side) { return side == MapSide::Read ? read : write; }
};

// The placed rows of DefReg.xml's reading, a list's fault being its first row that cannot be
// placed with its values as `values` needs them. At most `limit` placed rows are kept per list,
// what follows them not being looked at. Throws velmora::Error as XmlDocument::load does when the
// file cannot be read or is not well-formed XML, whatever row failed before.
RegisterRows readRegisterRows(const std::filesystem::path& defRegFile,
                              std::optional<std::size_t> nodeCount, RegisterValues values,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

// The register map and, in the order the dialog shows them, its messages.
struct RegisterMapLoad {
    RegisterMap map;
    std::vector<std::string> messages;
};

// The register map of `defRegFile` placed on the nodes of `dnetNetFile`, with kNodesMessage and
// then kEntriesMessage when a document exists but cannot be read completely; what was read before
// stays. Never throws a document failure.
RegisterMapLoad LoadRegisterMap(const std::filesystem::path& dnetNetFile,
                                const std::filesystem::path& defRegFile);

// The document the model is written as: both lists, rows in ascending index value across the
// nodes of a map, equal values in reverse model order. Throws Error, naming the index text and
// the node, when an entry's Index is not an integer text in 0..65535.
std::string registerMapDocument(const RegisterMap& map);

// Replaces `defRegFile` with registerMapDocument(map) through the atomic write; throws Error and
// leaves the file untouched on any failure.
void SaveRegisterMap(const RegisterMap& map, const std::filesystem::path& defRegFile);

// True when an entry of `nodes` other than the one at (exceptNode, exceptEntry) has the value of
// `indexText` (the dialog then shows kIndexInUseMessage); -1 in either position excepts nothing.
// Throws Error when a compared text is not an integer text (only when an entry exists).
bool IndexInUse(const DNNodeList& nodes, std::string_view indexText, int exceptNode,
                int exceptEntry);

// True when `indexText` is an integer text with a value in 0..65535.
bool IndexInRange(std::string_view indexText);

// The high and low byte choices of a register: 0 no byte, k the k-th byte of the node.
struct PosCompChoices {
    std::int32_t high = 0;
    std::int32_t low = 0;
    bool operator==(const PosCompChoices&) const = default;
};

// high × 65536 + low, wrapping as 32-bit arithmetic does.
std::int32_t PackPosComp(std::int32_t high, std::int32_t low);
// high = the value shifted right by 16 as an unsigned 32-bit number, low = the value AND 65535.
PosCompChoices UnpackPosComp(std::int32_t value);

// The highest byte choice a packed half holds, and so the most "Byte" items a selector offers.
inline constexpr std::int32_t kHighestByteChoice = 65535;

// How many "Byte" items a node of `nByte` bytes offers: `nByte` within 0..65535, so a count
// from a document edited by hand can neither be negative nor outgrow a packed choice.
std::int32_t byteChoiceCount(std::int32_t nByte);

// The byte choices packed in an entry's PosComp text; throws Error when the text is not an
// integer text.
PosCompChoices posCompTextChoices(std::string_view posComp);

// The PosComp text of a new or changed register: PackPosComp in unsigned 32 bits, written as its
// signed decimal so that the integer text rule reads the same bits back. Empty when a choice is
// not in 0..65535 (a selector without a selection reads -1).
std::optional<std::string> posCompText(std::int32_t high, std::int32_t low);

}  // namespace velmora
