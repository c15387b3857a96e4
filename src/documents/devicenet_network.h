#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "documents/document_reading.h"
#include "documents/xml_document.h"

namespace velmora {

// DNET_Net.xml: the root holds one "row" element per DeviceNet slave node, in list order.
inline constexpr std::string_view kDNetRootElement = "DNET_Net";
inline constexpr std::string_view kDNetRowElement = "row";

// The most nodes the list holds; children of the root after these are not read.
inline constexpr std::size_t kDNetMaxNodes = 64;
// The most input or output bytes one node has.
inline constexpr std::int32_t kDNetMaxNodeBytes = 455;
// Neither the input sum nor the output sum of all nodes may exceed this.
inline constexpr std::int32_t kDNetMaxByteSum = 6000;

// The four values of one node, in attribute order, which is also the order of the grid columns
// 1 to 4 of the dialog.
enum DNetField : std::size_t {
    kDNetId,
    kDNetBytesIn,
    kDNetBytesOut,
    kDNetMnemonic,
    kDNetFieldCount
};

// The attribute of each field, in the order they are read and written.
inline constexpr std::array<std::string_view, kDNetFieldCount> kDNetAttributes = {
    "ID", "NB_IN", "NB_OUT", "Mnemonic"};

// One node as the user typed it: the texts of its four fields, never reformatted.
using DNetRow = std::array<std::string, kDNetFieldCount>;

// One child of the root of DNET_Net.xml as read: NotAnElement for a child of another kind,
// whose values are then not read; otherwise its four values, the three numbers taken as integer
// texts.
struct DNetRowReading {
    ReadResult row;
    std::array<ReadValue, kDNetFieldCount> values;
};

// The reading of DNET_Net.xml: the document's outcome and every child of its root, read on past
// a faulty one.
struct DNetNetworkReading {
    ReadResult document;
    std::vector<DNetRowReading> rows;
};

// Reads the file at `path` as a stream, keeping at most `limit` children of the root (what
// follows them is not looked at). The document is Missing when there is no such plain file and
// Unreadable, whatever was read before, when it cannot be read or is not well-formed XML.
DNetNetworkReading readDNetNetworkDocument(
    const std::filesystem::path& path, std::size_t limit = std::numeric_limits<std::size_t>::max());

// What the dialog shows: the rows read (the last one possibly partly filled) and, when reading
// stopped early, the reason.
struct DNetNetworkRead {
    std::vector<DNetRow> rows;
    std::optional<std::string> error;
};

// The dialog's rows of a reading: the texts of every child, stopping at a child that is not an
// element or lacks one of the four attributes, keeping the rows and cells read before it.
DNetNetworkRead dnetNetworkRead(const DNetNetworkReading& reading);

// The dialog's rows of the file at `path`, up to kDNetMaxNodes: no rows when there is none.
// Throws velmora::Error when the file cannot be loaded or parsed.
DNetNetworkRead readDNetNetworkFile(const std::filesystem::path& path);

// The number of leading rows that form the node list: those before the first empty ID,
// at most kDNetMaxNodes. The check and the writing cover exactly these rows.
std::size_t dnetNodeCount(const std::vector<DNetRow>& rows);

// One failed check of the node list: the row it stands in (counted from 1; 0 for a sum) and the
// dialog's message.
struct DNetProblem {
    std::size_t row = 0;
    std::string message;
    DNetField field = kDNetId;  // the field checked; kDNetBytesIn or kDNetBytesOut for a sum
    std::int32_t value = 0;     // the value found (-1 for one that is not an integer text)
    std::int32_t max = 0;       // the largest value allowed
};

// Every check that the node list of `rows` fails, in the dialog's order: each row's ID, input
// and output counts in turn, then the input sum, then the output sum. The sums count the values
// that passed their own check.
std::vector<DNetProblem> dnetNetworkProblems(const std::vector<DNetRow>& rows);

// The message of the first check that the node list of `rows` fails, or none.
std::optional<std::string> checkDNetNetwork(const std::vector<DNetRow>& rows);

// The markup of the node list of `rows`, every value written exactly as typed.
// Throws velmora::Error when a value holds a character that XML cannot carry.
std::string dnetNetworkDocument(const std::vector<DNetRow>& rows);

// Writes dnetNetworkDocument(rows) to `path` (replacing the file whole); throws velmora::Error.
void writeDNetNetworkFile(const std::filesystem::path& path, const std::vector<DNetRow>& rows);

// One node row of DNET_Net.xml as the register map and the composer take it.
struct DNetNodeRow {
    std::int32_t id = 0;
    std::int32_t bytesIn = 0;
    std::int32_t bytesOut = 0;
    std::string idText;
    std::string inText;
    std::string outText;
    bool operator==(const DNetNodeRow&) const = default;
};

// The node rows of DNET_Net.xml in order, up to the first child of the root that fails.
struct DNetNodeRows {
    std::vector<DNetNodeRow> rows;
    std::optional<ReadResult> fault;
};

// The node rows of a reading: "ID", "NB_IN" and "NB_OUT" of each child in that order, each
// present and an integer text, up to the first child where one fails.
DNetNodeRows dnetNodeRows(const DNetNetworkReading& reading);

// The node rows of the file at `path`, keeping at most `limit` children as
// readDNetNetworkDocument does. Throws velmora::Error as XmlDocument::load does when the file
// cannot be read or is not well-formed XML, whatever row failed before.
DNetNodeRows readDNetNodeRows(const std::filesystem::path& path,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

}  // namespace velmora
