#include "image/project_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <tuple>
#include <utility>

#include "core/error.h"
#include "documents/comm_lists.h"
#include "documents/comm_settings.h"
#include "documents/comm_settings_format.h"
#include "documents/devicenet_network.h"
#include "documents/integer_text.h"
#include "documents/register_map.h"
#include "documents/xml_document.h"
#include "image/composer.h"
#include "image/image_format.h"

namespace velmora {

namespace fs = std::filesystem;
namespace fmt = image_format;

namespace {

constexpr std::size_t kNodePlaceRow = std::numeric_limits<std::size_t>::max();

// A parser's reason spans lines ("Line: N", then the source); a problem is one line.
std::string oneLine(std::string text) {
    std::string::size_type at = 0;
    while ((at = text.find('\n', at)) != std::string::npos) text.replace(at, 1, "; ");
    return text;
}

// 6120 as "6,120".
std::string groupedNumber(std::int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return (value < 0 ? "-" : "") + digits;
}

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

// The problems found so far, with what orders them.
class Problems {
public:
    void add(Severity severity, std::string_view document, std::string_view list, std::size_t row,
             std::string place, std::string_view code, std::string message) {
        ProjectProblem problem{
            severity,
            std::string(document),
            std::move(place),
            oneLine(std::move(message)),
            std::string(code),
            std::string(list),
            row == 0 || row == kNodePlaceRow ? std::nullopt : std::optional<std::size_t>(row)};
        // The composer and the document readers may meet the very same fault.
        if (!told_.emplace(problem.severity, problem.document, problem.place, problem.message)
                 .second) {
            return;
        }
        entries_.push_back({rankOf(document), rankOf(list), row, entries_.size(), problem});
    }

    std::vector<ProjectProblem> ordered() {
        std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            return std::tie(a.document, a.list, a.row, a.sequence) <
                   std::tie(b.document, b.list, b.row, b.sequence);
        });
        std::vector<ProjectProblem> result;
        for (Entry& e : entries_) result.push_back(std::move(e.problem));
        return result;
    }

private:
    struct Entry {
        int document;
        int list;
        std::size_t row;
        std::size_t sequence;
        ProjectProblem problem;
    };

    static int rankOf(std::string_view name) {
        constexpr std::array<std::string_view, 5> order = {
            fmt::kParGenFile, fmt::kDNetNetFile, fmt::kDefRegFile, fmt::kReadList, fmt::kWriteList};
        const auto at = std::find(order.begin(), order.end(), name);
        return at == order.end() ? -1 : static_cast<int>(at - order.begin());
    }

    std::vector<Entry> entries_;
    std::set<std::tuple<Severity, std::string, std::string, std::string>> told_;
};

// One child of the root of DNET_Net.xml as the composer reads it: a value that is missing or is
// not an integer text is empty.
struct NodeValues {
    std::optional<std::int32_t> id;
    std::optional<std::int32_t> bytesIn;
    std::optional<std::int32_t> bytesOut;
};

// The stable code of a fault that a reading met, for an element (of pargen.xml) or for an
// attribute or a row.
std::string_view faultCode(ReadStatus status, bool element) {
    switch (status) {
        case ReadStatus::Missing:
            return element ? "element-missing" : "attribute-missing";
        case ReadStatus::NotText:
            return "element-not-text";
        case ReadStatus::NotInteger:
            return element ? "element-not-integer" : "attribute-not-integer";
        case ReadStatus::NotAnElement:
            return "not-an-element";
        case ReadStatus::OutOfRange:
            return "node-position-range";
        case ReadStatus::Ok:
        case ReadStatus::NoNodes:
        case ReadStatus::Unreadable:
            break;
    }
    return "document-unreadable";
}

class ProjectChecker {
public:
    explicit ProjectChecker(const fs::path& dir) : dir_(dir) {}

    std::vector<ProjectProblem> run() {
        if (!exists(fmt::kParGenFile) && !exists(fmt::kDNetNetFile) && !exists(fmt::kDefRegFile)) {
            // Such as the PROJECTS folder typed by mistake: nothing there to check.
            problems_.add(Severity::Error, "", "", 0, "", "not-a-project",
                          "not a project folder: none of " + std::string(fmt::kParGenFile) + ", " +
                              std::string(fmt::kDNetNetFile) + ", " +
                              std::string(fmt::kDefRegFile));
            return problems_.ordered();
        }
        compose();
        checkSettings();
        checkNetwork();
        checkMap();
        // The composer stops at its first fault; the reading above goes on past it and names
        // every one, so the composer's is told only where that reading found none in the
        // document (a parse error, the image's capacity).
        if (composeFault_ && !faultyDocuments_.contains(composeFault_->document())) {
            const DocumentError& e = *composeFault_;
            problems_.add(Severity::Error, e.document(), e.list(), e.row(), e.place(), "composer",
                          e.detail());
        }
        return problems_.ordered();
    }

private:
    bool exists(std::string_view document) const {
        return XmlDocument::fileExists(dir_ / document);
    }

    // Whether a document's reading can be checked; when it cannot, tells why: it is missing
    // (`consequence` says what the image lacks then) or cannot be read.
    bool usable(std::string_view document, const ReadResult& reading,
                std::string_view consequence) {
        if (reading.status == ReadStatus::Missing) {
            problems_.add(Severity::Warning, document, "", 0, "", "document-missing",
                          "the document is missing: " + std::string(consequence));
            return false;
        }
        if (reading.status == ReadStatus::Unreadable) {
            problems_.add(Severity::Error, document, "", 0, "", "document-unreadable",
                          reading.message);
            return false;
        }
        return true;
    }

    // What makes composing fail, in the composer's words: the first such fault.
    void compose() {
        ConfigImage image;
        try {
            ComposeConfigImage(image, dir_);
        } catch (const DocumentError& e) {
            composeFault_ = e;
        }
    }

    // An error of a document's reading; the document is then known to be faulty.
    void readingError(std::string_view document, std::string_view list, std::size_t row,
                      std::string place, std::string_view code, std::string message) {
        faultyDocuments_.emplace(document);
        problems_.add(Severity::Error, document, list, row, std::move(place), code,
                      std::move(message));
    }

    // A fault of a value that a reading met, in the reading's words.
    void valueError(std::string_view document, const ReadResult& fault, std::string place) {
        readingError(document, fault.place.list, fault.place.row, std::move(place),
                     faultCode(fault.status, fault.place.row == 0), fault.message);
    }

    void checkSettings() {
        const CommSettingsReading reading = readCommSettingsFile(dir_ / fmt::kParGenFile);
        if (!usable(fmt::kParGenFile, reading.document, "the image has no parameter block")) return;
        // Every value that the composer needs as an integer text.
        for (const CommField field : fmt::kRequiredSettings) {
            const ReadResult& fault = reading[field].result;
            if (!fault.ok()) valueError(fmt::kParGenFile, fault, std::string(fault.place.name));
        }
        const CommSettings settings = commSettingsFromReading(reading);
        gatewayId_ = parseIntegerText(settings.dnetDeviceId);
        // The dialog stops at its first failing check; each ID is checked here beside the
        // other's default so that both are told.
        const CommSettings defaults;
        CommSettings dnetOnly = defaults;
        dnetOnly.dnetDeviceId = settings.dnetDeviceId;
        CommSettings serialOnly = defaults;
        serialOnly.serialDeviceId = settings.serialDeviceId;
        const struct {
            CommSettings checked;
            const char* element;
            const std::string& text;
            const char* code;
            const char* range;
        } ids[] = {
            {dnetOnly, comm_settings_format::kDnetDeviceId, settings.dnetDeviceId,
             "device-id-range", "0 to 63"},
            {serialOnly, comm_settings_format::kSerialDeviceId, settings.serialDeviceId,
             "serial-id-range", "1 to 247"},
        };
        for (const auto& id : ids) {
            // The dialog's own rule decides; the words are the check's.
            if (!commSettingsProblem(id.checked)) continue;
            const auto value = parseIntegerText(id.text);
            problems_.add(Severity::Error, fmt::kParGenFile, "", 0, id.element, id.code,
                          std::string(id.element) + " " +
                              (value ? std::to_string(*value) + " is outside " + id.range
                                     : quotedValue(id.text) + " is not an integer"));
        }
        checkListPositions(reading);
    }

    // Each value chosen from a list, as the composer reads it, must stand in that list: the
    // device reads a value outside it as an unknown setting.
    void checkListPositions(const CommSettingsReading& reading) {
        namespace format = comm_settings_format;
        // The dialog takes the hardware variant as text ("1" alone is QH48203-B2), the composer
        // as a number: "01" or "0x1" reads as QH48203-A1 in the dialog, but the device gets B2.
        if (const auto& hardware = reading[kCommHardware]; hardware.text) {
            const std::string& text = *hardware.text;
            const auto& [a1, b2] = kHardwareList.items;
            if (hardware.integer == b2.value && text != std::to_string(b2.value)) {
                problems_.add(Severity::Warning, fmt::kParGenFile, "", 0, format::kHardware,
                              "hardware-read-differently",
                              std::string(format::kHardware) + " " + quotedValue(text) +
                                  " reads as " + std::string(a1.label) +
                                  " in the dialog, but the device gets " + std::string(b2.label) +
                                  " (" + std::to_string(b2.value) + ")");
            }
        }
        const auto checkList = [&](const auto& list, CommField field) {
            // A missing or non-integer value is the composer's to tell.
            const auto& value = reading[field].integer;
            if (!value || list.contains(*value)) return;
            std::string items;
            for (const auto& item : list.items) {
                items += (items.empty() ? "" : ", ") + std::to_string(item.value) + " = " +
                         std::string(item.label);
            }
            problems_.add(
                Severity::Error, fmt::kParGenFile, "", 0, list.element, "setting-not-in-list",
                std::string(list.element) + " " + std::to_string(*value) +
                    " is not in the list of " + std::string(list.what) + " (" + items + ")");
        };
        checkList(kDnetBaudList, kCommDnetBaud);
        checkList(kSerialBaudList, kCommSerialBaud);
        checkList(kSerialParityList, kCommSerialParity);
        checkList(kSerialLineList, kCommSerialLine);
        checkList(kSerialProtocolList, kCommSerialProtocol);
        checkList(kHardwareList, kCommHardware);
    }

    void checkNetwork() {
        const DNetNetworkReading reading = readDNetNetworkDocument(dir_ / fmt::kDNetNetFile);
        if (!usable(fmt::kDNetNetFile, reading.document,
                    "the image has no nodes and every register row is dropped")) {
            return;
        }

        // Every value of every row, read on past a bad row: one problem for each attribute that
        // is missing or, for the three numbers, not an integer text.
        std::set<std::size_t> faultyRows;
        std::vector<DNetRow> rows;
        for (const DNetRowReading& child : reading.rows) {
            const std::size_t number = child.row.place.row;
            const std::string place = "row " + std::to_string(number);
            DNetRow& row = rows.emplace_back();
            NodeValues& node = nodes_.emplace_back();
            if (!child.row.ok()) {
                valueError(fmt::kDNetNetFile, child.row, place);
                faultyRows.insert(number);
                continue;
            }
            for (std::size_t field = 0; field < kDNetFieldCount; ++field) {
                const ReadValue& value = child.values[field];
                row[field] = value.text.value_or("");
                if (!value.ok()) {
                    valueError(fmt::kDNetNetFile, value.result, place);
                    faultyRows.insert(number);
                }
            }
            node = {child.values[kDNetId].integer, child.values[kDNetBytesIn].integer,
                    child.values[kDNetBytesOut].integer};
        }

        // The dialog's checks over every row, read on past a bad one (the dialog's own reading
        // stops there); a row whose attributes failed above is told once, there.
        for (const DNetProblem& p : dnetNetworkProblems(rows)) {
            if (faultyRows.contains(p.row)) continue;
            if (p.row == 0) {
                const bool in = p.field == kDNetBytesIn;
                problems_.add(Severity::Error, fmt::kDNetNetFile, "", 0, "",
                              in ? "bytes-in-sum" : "bytes-out-sum",
                              std::string("the ") + (in ? "input" : "output") +
                                  " bytes of all nodes add up to " + groupedNumber(p.value) +
                                  "; at most " + groupedNumber(p.max) + " fit");
                continue;
            }
            const char* codes[] = {"node-id-range", "node-bytes-in-range", "node-bytes-out-range"};
            const std::string name(kDNetAttributes[p.field]);
            problems_.add(
                Severity::Error, fmt::kDNetNetFile, "", p.row, "row " + std::to_string(p.row),
                codes[p.field],
                name + " " + std::to_string(p.value) + " is outside 0 to " + std::to_string(p.max));
        }

        // As the composer reads it: every child of the root.
        if (rows.size() > kDNetMaxNodes) {
            problems_.add(Severity::Error, fmt::kDNetNetFile, "", 0, "", "too-many-rows",
                          "the document holds " + std::to_string(rows.size()) +
                              " rows; the network has at most " + std::to_string(kDNetMaxNodes) +
                              " nodes (the dialog shows the first " +
                              std::to_string(kDNetMaxNodes) + ", the image would carry them all)");
        }
        std::map<std::int32_t, std::size_t> rowOfId;
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            const NodeValues& node = nodes_[i];
            const std::size_t row = i + 1;
            if (!node.id) continue;
            const std::string place = "row " + std::to_string(row);
            const std::string id = std::to_string(*node.id);
            if (const auto [at, added] = rowOfId.emplace(*node.id, row); !added) {
                problems_.add(Severity::Warning, fmt::kDNetNetFile, "", row, place,
                              "duplicate-node-id",
                              "ID " + id + " is also the ID of row " + std::to_string(at->second));
            }
            if (gatewayId_ && *gatewayId_ == *node.id) {
                problems_.add(Severity::Warning, fmt::kDNetNetFile, "", row, place,
                              "node-id-is-gateway",
                              "ID " + id + " is the gateway's own DeviceNet ID (" +
                                  comm_settings_format::kDnetDeviceId + " in " +
                                  std::string(fmt::kParGenFile) + ")");
            }
        }
    }

    void checkMap() {
        // The composer compares with the node count it stores, which wraps at 256.
        const RegisterMapReading reading = readRegisterMapDocument(
            dir_ / fmt::kDefRegFile, static_cast<std::uint8_t>(nodes_.size()));
        if (!usable(fmt::kDefRegFile, reading.document, "the image has no registers")) return;
        checkSide(reading.read, fmt::kReadList, fmt::kNodeBytesOut, &NodeValues::bytesOut,
                  "output");
        checkSide(reading.write, fmt::kWriteList, fmt::kNodeBytesIn, &NodeValues::bytesIn, "input");
    }

    // The byte count of node `position` (from 1) on one side; none when it cannot be read.
    std::optional<std::int32_t> byteCount(std::int32_t position,
                                          std::optional<std::int32_t> NodeValues::*count) const {
        return nodes_[static_cast<std::size_t>(position - 1)].*count;
    }

    void checkSide(const RegisterListReading& list, const char* listName, const char* countName,
                   std::optional<std::int32_t> NodeValues::*count, std::string_view direction) {
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
                    error("index-range",
                          "Index " + std::to_string(*index) + " is outside 0 to 65535");
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

    // Per node, the bytes of one side that no register carries, as ranges. They are the gaps
    // between the carried bytes, so a byte count typed by hand (up to 2^31 - 1) is never walked.
    void reportUncarried(const char* listName, std::optional<std::int32_t> NodeValues::*count,
                         const std::map<std::pair<std::int32_t, std::int32_t>, std::size_t>& used) {
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            const auto bytes = nodes_[i].*count;
            if (!bytes || *bytes <= 0) continue;
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
                "no register carries " + std::string(oneByte ? "byte " : "bytes ") +
                    rangesText(free) + " of node " + std::to_string(position) + " (ID " + id + ")");
        }
    }

    fs::path dir_;
    Problems problems_;
    std::optional<DocumentError> composeFault_;
    std::set<std::string, std::less<>> faultyDocuments_;
    std::optional<std::int32_t> gatewayId_;
    std::vector<NodeValues> nodes_;
};

}  // namespace

std::vector<ProjectProblem> checkProject(const fs::path& projectDir) {
    std::error_code ec;
    if (projectDir.empty() || !fs::is_directory(projectDir, ec)) {
        throw Error("not a project folder: " + projectDir.string());
    }
    return ProjectChecker(projectDir).run();
}

std::size_t countProblems(const std::vector<ProjectProblem>& problems, Severity severity) {
    return static_cast<std::size_t>(
        std::count_if(problems.begin(), problems.end(),
                      [severity](const ProjectProblem& p) { return p.severity == severity; }));
}

}  // namespace velmora
