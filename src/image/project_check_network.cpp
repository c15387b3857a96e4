#include "image/project_checker.h"

#include <map>
#include <set>
#include <string>
#include <utility>

#include "documents/comm_settings_format.h"
#include "documents/devicenet_network.h"
#include "image/image_format.h"

namespace velmora::project_check_internal {

namespace fmt = image_format;

void ProjectChecker::checkNetwork() {
    const DNetNetworkReading reading = readDNetNetworkDocument(dir_ / fmt::kDNetNetFile);
    networkUnknown_ = reading.document.status == ReadStatus::Unreadable;
    if (!usable(fmt::kDNetNetFile, reading.document,
                "the image has no nodes and every register row is dropped")) {
        return;
    }

    // Every value of every row, read on past a bad row: one problem for each attribute that
    // is missing or, for the three numbers, not an integer text.
    std::set<std::size_t> faultyRows;                            // the row itself is unusable
    std::set<std::pair<std::size_t, std::size_t>> faultyFields;  // (row, field) not read
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
                faultyFields.emplace(number, field);
            }
        }
        node = {child.values[kDNetId].integer, child.values[kDNetBytesIn].integer,
                child.values[kDNetBytesOut].integer};
    }

    // The dialog's checks over every row, read on past a bad one (the dialog's own reading
    // stops there); an attribute that failed above is told once, there, and the row's other
    // attributes are still checked.
    for (const DNetProblem& p : dnetNetworkProblems(rows)) {
        if (faultyRows.contains(p.row) || faultyFields.contains({p.row, p.field})) continue;
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
                          " nodes (the dialog shows the first " + std::to_string(kDNetMaxNodes) +
                          ", the image would carry them all)");
    }
    std::map<std::int32_t, std::size_t> rowOfId;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        const NodeValues& node = nodes_[i];
        const std::size_t row = i + 1;
        if (!node.id) continue;
        const std::string place = "row " + std::to_string(row);
        const std::string id = std::to_string(*node.id);
        if (const auto [at, added] = rowOfId.emplace(*node.id, row); !added) {
            problems_.add(Severity::Warning, fmt::kDNetNetFile, "", row, place, "duplicate-node-id",
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

}  // namespace velmora::project_check_internal
