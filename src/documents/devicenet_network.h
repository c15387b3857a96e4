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

#include "documents/row_reading.h"
#include "documents/xml_document.h"

namespace velmora {

// DNET_Net.xml: the root holds one "row" element per DeviceNet slave node, in list order.
inline constexpr std::string_view kDNetRootElement = "DNET_Net";
inline constexpr std::string_view kDNetRowElement = "row";

// The most nodes the list holds; children of the root after these are not read.
inline constexpr std::size_t kDNetMaxNodes = 64;
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

// What a reading gave: the rows read (the last one possibly partly filled) and, when reading
// stopped early, the reason.
struct DNetNetworkRead {
    std::vector<DNetRow> rows;
    std::optional<std::string> error;
};

// Reads the rows of a loaded document: every child of its first top-level node, whatever its
// name, up to kDNetMaxNodes; reading stops at a child that is not an element or lacks one of
// the four attributes, keeping the rows and cells read before it.
DNetNetworkRead readDNetNetwork(const XmlDocument& document);

// Reads the file at `path`: no rows when there is none. Throws velmora::Error when the file
// cannot be loaded or parsed.
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
    std::optional<RowFault> fault;
};

// Reads every child of the root of the file at `path` as a node row, as a stream, keeping at most
// `limit` rows (what follows them is not looked at). Throws velmora::Error as XmlDocument::load
// does when the file cannot be read or is not well-formed XML, whatever row failed before.
DNetNodeRows readDNetNodeRows(const std::filesystem::path& path,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

}  // namespace velmora
