#include "image/project_checker.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

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
    // The composer compares with the node count it stores, which wraps at 256.
    const RegisterMapReading reading =
        readRegisterMapDocument(dir_ / fmt::kDefRegFile, static_cast<std::uint8_t>(nodes_.size()));
    if (!usable(fmt::kDefRegFile, reading.document, "the image has no registers")) return;
    checkSide(reading.read, fmt::kReadList, fmt::kNodeBytesOut, &NodeValues::bytesOut, "output");
    checkSide(reading.write, fmt::kWriteList, fmt::kNodeBytesIn, &NodeValues::bytesIn, "input");
}

std::optional<std::int32_t> ProjectChecker::byteCount(
    std::int32_t position, std::optional<std::int32_t> NodeValues::*count) const {
    return nodes_[static_cast<std::size_t>(position - 1)].*count;
}

void ProjectChecker::checkSide(const RegisterListReading& list, const char* listName,
                               const char* countName,
                               std::optional<std::int32_t> NodeValues::*count,
                               std::string_view direction) {
    if (!list.list.ok()) {
        readingError(fmt::kDefRegFile, "", 0, "", "list-missing",
                     "element " + quotedValue(listName) + " is missing under the root");
        return;
    }
    std::map<std::int32_t, std::size_t> rowOfIndex;
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> rowOfByte;
    for (const RegisterRowReading& row : list.rows) {
        const std::size_t number = row.row.place.row;
        const std::string place = std::string(listName) + " row " + std::to_string(number);
        const auto error = [&](std::string_view code, const std::string& message) {
            readingError(fmt::kDefRegFile, listName, number, place, code, message);
        };
        const auto warning = [&](std::string_view code, const std::string& message) {
            problems_.add(Severity::Warning, fmt::kDefRegFile, listName, number, place, code,
                          message);
        };
        // The value's integer, or none after telling why it cannot be used.
        const auto integer = [&](RegisterField field) {
            const ReadValue& value = row.values[field];
            if (!value.ok()) valueError(fmt::kDefRegFile, value.result, place);
            return value.integer;
        };
        if (row.row.status == ReadStatus::NotAnElement) {
            valueError(fmt::kDefRegFile, row.row, place);
            continue;
        }
        const auto node = integer(kRegisterNode);
        if (!node) continue;
        if (row.dropped) {
            warning("node-beyond-network", "node " + std::to_string(*node) + " is beyond the " +
                                               plural(nodes_.size(), "node") + " of " +
                                               std::string(fmt::kDNetNetFile) +
                                               ": the row is dropped from the image");
            continue;
        }
        if (!row.row.ok()) {
            valueError(fmt::kDefRegFile, row.row, place);
            continue;
        }
        const auto index = integer(kRegisterIndex);
        const auto posComp = integer(kRegisterPosComp);
        if (index) {
            if (!IndexInRange(*row.values[kRegisterIndex].text)) {
                error("index-range", "Index " + std::to_string(*index) + " is outside 0 to 65535");
            }
            if (const auto [at, added] = rowOfIndex.emplace(*index, number); !added) {
                error("duplicate-index", "index " + std::to_string(*index) +
                                             " is also the index of row " +
                                             std::to_string(at->second));
            }
        }
        if (!posComp) continue;
        const PosCompChoices choices = UnpackPosComp(*posComp);
        if (choices.high == 0 && choices.low == 0) {
            warning("no-byte", "both bytes are \"None\": the register carries no byte");
        }
        const auto bytes = byteCount(*node, count);
        if (!bytes) continue;
        for (const auto& [choice, half] :
             {std::pair{choices.high, "high"}, std::pair{choices.low, "low"}}) {
            if (choice == 0) continue;
            if (choice > *bytes) {
                warning("byte-beyond-node",
                        std::string("the ") + half + " byte is byte " + std::to_string(choice) +
                            ", beyond the " +
                            plural(static_cast<std::size_t>(std::max(*bytes, 0)),
                                   std::string(direction) + " byte") +
                            " of node " + std::to_string(*node) + " (" + countName + ")");
                continue;
            }
            if (half == std::string_view("low") && choice == choices.high) continue;
            const auto [at, added] = rowOfByte.emplace(std::pair{*node, choice}, number);
            if (!added) {
                warning("byte-carried-twice",
                        "byte " + std::to_string(choice) + " of node " + std::to_string(*node) +
                            " is also carried by row " + std::to_string(at->second));
            }
        }
    }
    reportUncarried(listName, count, rowOfByte);
}

// The uncarried bytes are the gaps between the carried ones, so a byte count typed by hand (up to
// 2^31 - 1) is never walked.
void ProjectChecker::reportUncarried(
    const char* listName, std::optional<std::int32_t> NodeValues::*count,
    const std::map<std::pair<std::int32_t, std::int32_t>, std::size_t>& used) {
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        const auto bytes = nodes_[i].*count;
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
