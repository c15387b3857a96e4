#include "image/project_checker.h"

#include <limits>
#include <map>
#include <string>
#include <utility>

#include "documents/devicenet_network.h"
#include "documents/xml_document.h"
#include "image/image_format.h"

namespace velmora::project_check_internal {

namespace fmt = image_format;

namespace {

std::string plural(std::size_t count, std::string_view word) {
    return std::to_string(count) + " " + std::string(word) + (count == 1 ? "" : "s");
}

// Byte numbers from first to last.
using ByteRange = std::pair<std::int32_t, std::int32_t>;

// Byte ranges as text: "1-3, 6".
std::string rangesText(const std::vector<ByteRange>& ranges) {
    std::string s;
    for (const auto& [first, last] : ranges) {
        if (!s.empty()) s += ", ";
        s += std::to_string(first);
        if (last > first) s += "-" + std::to_string(last);
    }
    return s;
}

}  // namespace

void ProjectChecker::checkMap() {
    // The composer compares with the node count it stores, which wraps at 256. Without a
    // readable DeviceNet list every position is taken as there, so that each row's own values
    // are checked and nothing is said of its node.
    const std::size_t nodeCount = networkUnknown_ ? std::numeric_limits<std::int32_t>::max()
                                                  : static_cast<std::uint8_t>(nodes_.size());
    const RegisterMapReading reading = readRegisterMapDocument(dir_ / fmt::kDefRegFile, nodeCount);
    if (!usable(fmt::kDefRegFile, reading.document, "the image has no registers")) return;
    checkSide(reading.read, {fmt::kReadList, fmt::kNodeBytesOut, &NodeValues::bytesOut, "output"});
    checkSide(reading.write, {fmt::kWriteList, fmt::kNodeBytesIn, &NodeValues::bytesIn, "input"});
}

std::optional<std::int32_t> ProjectChecker::byteCount(
    std::int32_t position, std::optional<std::int32_t> NodeValues::*count) const {
    if (position < 1 || static_cast<std::size_t>(position) > nodes_.size()) return std::nullopt;
    return nodes_[static_cast<std::size_t>(position - 1)].*count;
}

void ProjectChecker::checkSide(const RegisterListReading& list, const MapSideNames& side) {
    const char* listName = side.list;
    if (!list.list.ok()) {
        readingError(fmt::kDefRegFile, listName, 0, "", "list-missing",
                     "element " + quotedValue(listName) + " is missing under the root");
        return;
    }
    std::map<std::int32_t, std::size_t> rowOfIndex;
    std::map<NodeByte, std::size_t> rowOfByte;
    for (const RegisterRowReading& row : list.rows) {
        const std::size_t number = row.row.place.row;
        // Before the row's node is known, a fault is told on the row alone.
        const ReadValue& nodeValue = row.values[kRegisterNode];
        if (row.row.status == ReadStatus::NotAnElement || !nodeValue.ok()) {
            valueError(fmt::kDefRegFile, row.row.ok() ? nodeValue.result : row.row,
                       std::string(listName) + " row " + std::to_string(number));
            continue;
        }
        const std::int32_t node = *nodeValue.integer;
        // Every later problem of the row is one on its node.
        const auto problem = [&](Severity severity, std::string_view code, std::string message,
                                 std::string groupMessage = {}) {
            rowProblem(severity, listName, number, node, code, std::move(message),
                       std::move(groupMessage));
        };
        // The value's integer, or none after telling why it cannot be used.
        const auto integer = [&](RegisterField field) {
            const ReadValue& value = row.values[field];
            if (!value.ok()) rowFault(listName, node, value.result);
            return value.integer;
        };
        if (row.dropped) {
            const std::string beyond = "node " + std::to_string(node) + " is beyond the " +
                                       plural(nodes_.size(), "node") + " of " +
                                       std::string(fmt::kDNetNetFile) + ": the ";
            problem(Severity::Warning, "node-beyond-network",
                    beyond + "row is dropped from the image",
                    beyond + "rows are dropped from the image");
            continue;
        }
        if (!row.row.ok()) {
            rowFault(listName, node, row.row);
            continue;
        }
        const auto index = integer(kRegisterIndex);
        const auto posComp = integer(kRegisterPosComp);
        if (index) {
            if (!IndexInRange(*row.values[kRegisterIndex].text)) {
                problem(Severity::Error, "index-range",
                        "Index " + std::to_string(*index) + " is outside 0 to 65535");
            }
            if (const auto [at, added] = rowOfIndex.emplace(*index, number); !added) {
                problem(Severity::Error, "duplicate-index",
                        "index " + std::to_string(*index) + " is also the index of row " +
                            std::to_string(at->second));
            }
        }
        if (!posComp) continue;
        const PosCompChoices choices = UnpackPosComp(*posComp);
        if (choices.high == 0 && choices.low == 0) {
            problem(Severity::Warning, "no-byte",
                    "both bytes are \"None\": the register carries no byte",
                    "both bytes are \"None\": the registers carry no byte");
        }
        checkChoices(side, number, node, choices, rowOfByte);
    }
    reportUncarried(side, rowOfByte);
}

void ProjectChecker::checkChoices(const MapSideNames& side, std::size_t row, std::int32_t node,
                                  PosCompChoices choices,
                                  std::map<NodeByte, std::size_t>& rowOfByte) {
    const auto bytes = byteCount(node, side.count);
    if (!bytes) return;
    // A count outside its range is an error of its own, told on its DeviceNet row.
    const bool countInRange = *bytes >= 0 && *bytes <= kDNetMaxNodeBytes;
    for (const auto& [choice, half] :
         {std::pair{choices.high, "high"}, std::pair{choices.low, "low"}}) {
        if (choice == 0) continue;
        if (choice > *bytes) {
            if (countInRange) {
                rowProblem(Severity::Warning, side.list, row, node, "byte-beyond-node",
                           std::string("the ") + half + " byte is byte " + std::to_string(choice) +
                               ", beyond the " +
                               plural(static_cast<std::size_t>(*bytes),
                                      std::string(side.direction) + " byte") +
                               " of node " + std::to_string(node) + " (" + side.countName + ")");
            }
            continue;
        }
        if (half == std::string_view("low") && choice == choices.high) continue;
        const auto [at, added] = rowOfByte.emplace(NodeByte{node, choice}, row);
        if (!added) {
            rowProblem(Severity::Warning, side.list, row, node, "byte-carried-twice",
                       "byte " + std::to_string(choice) + " of node " + std::to_string(node) +
                           " is also carried by row " + std::to_string(at->second));
        }
    }
}

// The uncarried bytes are the gaps between the carried ones, so a byte count typed by hand (up to
// 2^31 - 1) is never walked.
void ProjectChecker::reportUncarried(const MapSideNames& side,
                                     const std::map<NodeByte, std::size_t>& used) {
    const char* listName = side.list;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        const auto bytes = nodes_[i].*side.count;
        // A count outside its range is an error of its own; its gaps would only repeat it.
        if (!bytes || *bytes <= 0 || *bytes > kDNetMaxNodeBytes) continue;
        const auto position = static_cast<std::int32_t>(i + 1);
        std::vector<ByteRange> free;
        std::int32_t next = 1;  // the first byte not yet known to be carried
        for (auto at = used.lower_bound({position, 1});
             at != used.end() && at->first.first == position; ++at) {
            const std::int32_t carried = at->first.second;
            if (carried > next) free.emplace_back(next, carried - 1);
            next = carried + 1;
        }
        if (next <= *bytes) free.emplace_back(next, *bytes);
        if (free.empty()) continue;
        const bool oneByte = free.size() == 1 && free[0].first == free[0].second;
        const std::string id = nodes_[i].id ? std::to_string(*nodes_[i].id) : "?";
        problems_.add(
            Severity::Warning, fmt::kDefRegFile, listName, kNodePlaceRow,
            std::string(listName) + " node " + std::to_string(position), "bytes-not-carried",
            "no register carries " + std::string(oneByte ? "byte " : "bytes ") + rangesText(free) +
                " of node " + std::to_string(position) + " (ID " + id + ")");
    }
}

}  // namespace velmora::project_check_internal
