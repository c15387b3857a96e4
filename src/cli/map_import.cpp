#include "cli/map_import.h"

#include <array>
#include <exception>
#include <map>
#include <optional>
#include <vector>

#include "cli/automap_command.h"
#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/map_report.h"
#include "cli/report_text.h"
#include "core/error.h"
#include "core/path_text.h"
#include "core/project_layout.h"
#include "documents/xml_parsing.h"

namespace velmora::cli {

namespace {

// One record of the CSV: its fields and the line it starts on.
struct CsvRecord {
    std::size_t line = 0;
    std::vector<std::string> fields;
};

// The delimiter of a CSV: ';' when its first line has a ';' outside quotes and no ','.
char delimiterOf(std::string_view csv) {
    bool quoted = false;
    bool semicolon = false;
    for (const char c : csv) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        if (c == ',') return ',';
        if (c == ';') semicolon = true;
    }
    return semicolon ? ';' : ',';
}

// The records of an RFC 4180 CSV (quoted fields may hold the delimiter, doubled quotes and line
// breaks); blank lines hold no record. Throws at a quote left open.
std::vector<CsvRecord> csvRecords(std::string_view csv, char delimiter) {
    if (csv.starts_with("\xEF\xBB\xBF")) csv.remove_prefix(3);  // a spreadsheet's byte-order mark
    std::vector<CsvRecord> records;
    std::size_t line = 1;
    std::size_t i = 0;
    while (i < csv.size()) {
        CsvRecord record{line, {}};
        std::string field;
        bool quoted = false;
        bool any = false;  // anything but the line end read
        for (; i < csv.size(); ++i) {
            const char c = csv[i];
            if (quoted) {
                if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    if (c == '\n') ++line;
                    field += c;
                }
                continue;
            }
            if (c == '\r' || c == '\n') break;
            any = true;
            if (c == '"') {
                quoted = true;
            } else if (c == delimiter) {
                record.fields.push_back(std::move(field));
                field.clear();
            } else {
                field += c;
            }
        }
        if (quoted) throw Error("line " + std::to_string(record.line) + ": a quote is not closed");
        if (i < csv.size() && csv[i] == '\r') ++i;
        if (i < csv.size() && csv[i] == '\n') ++i;
        ++line;
        if (!any) continue;
        record.fields.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

enum Column : std::size_t { kMap, kRegister, kNode, kNodeId, kHighByte, kLowByte, kColumnCount };
constexpr std::array<std::string_view, kColumnCount> kColumnNames = {
    "map", "register", "node", "node_id", "high_byte", "low_byte"};

Error lineError(std::size_t line, const std::string& text) {
    return Error("line " + std::to_string(line) + ": " + text);
}

// A whole decimal number of at most 12 digits, an optional '-' in front.
std::optional<std::int64_t> decimalNumber(const std::string& text) {
    const std::size_t digits = text.starts_with('-') ? 1 : 0;
    if (text.size() == digits || text.size() > digits + 12 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos) {
        return std::nullopt;
    }
    return std::stoll(text);
}

// The position of each column read, by name in the header.
std::array<std::size_t, kColumnCount> columnsOf(const CsvRecord& header) {
    std::array<std::size_t, kColumnCount> at{};
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        std::size_t found = 0;
        while (found < header.fields.size() && header.fields[found] != kColumnNames[c]) ++found;
        if (found == header.fields.size()) {
            throw lineError(header.line, "the column '" + std::string(kColumnNames[c]) +
                                             "' is missing (the header must be " + kMapCsvHeader +
                                             ")");
        }
        at[c] = found;
    }
    return at;
}

// Places one row on its node, or says why not.
class RowPlacer {
public:
    RowPlacer(std::int64_t base, DNNodeLists& lists) : base_(base), lists_(lists) {}

    void place(const CsvRecord& record, const std::array<std::size_t, kColumnCount>& at) {
        const auto field = [&](Column c) -> const std::string& {
            if (at[c] >= record.fields.size()) {
                throw lineError(record.line,
                                "the column '" + std::string(kColumnNames[c]) + "' is missing");
            }
            return record.fields[at[c]];
        };
        const auto number = [&](Column c) {
            const auto value = decimalNumber(field(c));
            if (!value) {
                throw lineError(record.line, std::string(kColumnNames[c]) + " '" + field(c) +
                                                 "' is not a whole number");
            }
            return *value;
        };
        const std::string& mapName = field(kMap);
        if (mapName != "read" && mapName != "write") {
            throw lineError(record.line, "map '" + mapName + "' is neither read nor write");
        }
        const MapSide side = mapName == "read" ? MapSide::Read : MapSide::Write;
        const std::int64_t registerNumber = number(kRegister);
        const std::int64_t index = registerNumber - base_;
        if (index < 0 || index > 65535) {
            throw lineError(record.line,
                            "register " + field(kRegister) + " is index " + std::to_string(index) +
                                ", outside 0 to 65535, with the base " + std::to_string(base_));
        }
        DNNodeList& nodes = lists_.list(side);
        const std::int64_t position = number(kNode);
        if (position < 1 || position > static_cast<std::int64_t>(nodes.size())) {
            throw lineError(record.line, "node " + field(kNode) + " is not in " +
                                             std::string(project_layout::kDNetNetFile) + " (" +
                                             plural(nodes.size(), "node") + ")");
        }
        TClDNNode& node = nodes[static_cast<std::size_t>(position - 1)];
        if (number(kNodeId) != node.ID) {
            throw lineError(record.line, "node_id " + field(kNodeId) + " is not the ID of node " +
                                             field(kNode) + " (" + node.IDText + ")");
        }
        std::array<std::int32_t, 2> choices{};
        for (const Column c : {kHighByte, kLowByte}) {
            if (field(c).empty()) continue;
            const std::int64_t byte = number(c);
            if (byte < 1 || byte > node.NByte) {
                throw lineError(record.line,
                                std::string(kColumnNames[c]) + " " + field(c) +
                                    " is not a byte of node " + field(kNode) + ", which has " +
                                    plural(static_cast<std::size_t>(std::max(node.NByte, 0)),
                                           side == MapSide::Read ? "output byte" : "input byte"));
            }
            choices[c == kHighByte ? 0 : 1] = static_cast<std::int32_t>(byte);
        }
        auto& seen = seen_[side == MapSide::Read ? 0 : 1];
        if (const auto [at, added] = seen.emplace(index, record.line); !added) {
            throw lineError(record.line, mapName + " register " + field(kRegister) +
                                             " already stands on line " +
                                             std::to_string(at->second));
        }
        node.appendEntry(
            TClIndMB(std::to_string(index), std::to_string(PackPosComp(choices[0], choices[1]))));
    }

private:
    std::int64_t base_;
    DNNodeLists& lists_;
    std::array<std::map<std::int64_t, std::size_t>, 2> seen_;
};

}  // namespace

void importMapCsv(std::string_view csv, std::int64_t base, RegisterMap& map) {
    const std::vector<CsvRecord> records = csvRecords(csv, delimiterOf(csv));
    if (records.empty()) throw Error("the file is empty: it has no header");
    const auto at = columnsOf(records.front());
    DNNodeLists lists = map.nodeLists.value_or(DNNodeLists{});
    for (MapSide side : {MapSide::Read, MapSide::Write}) {
        for (TClDNNode& node : lists.list(side)) node.IndMBList.clear();
    }
    RowPlacer placer(base, lists);
    for (std::size_t r = 1; r < records.size(); ++r) placer.place(records[r], at);
    map.nodeLists = std::move(lists);
}

int importMap(const std::filesystem::path& projectDir, const std::string& file, std::int64_t base,
              std::ostream& out, std::ostream& err) {
    try {
        RegisterMap map = loadProjectMap(projectDir, false);
        const std::string csv = xml_internal::readWholeFile(pathFromText(file));
        try {
            importMapCsv(csv, base, map);
        } catch (const Error& e) {
            throw Error(file + ": " + e.what() + "; nothing written");
        }
        SaveRegisterMap(map, defRegPath(projectDir));
        std::array<std::size_t, 2> counts{};
        for (MapSide side : {MapSide::Read, MapSide::Write}) {
            for (const TClDNNode& node : map.nodeLists->list(side)) {
                counts[side == MapSide::Read ? 0 : 1] += node.IndMBList.size();
            }
        }
        out << project_layout::kDefRegFile << ": " << plural(counts[0], "read register") << " and "
            << plural(counts[1], "write register") << " imported from " << file << "\n";
        return kExitOk;
    } catch (const std::exception& e) {
        return failure(err, failureText(e));
    }
}

}  // namespace velmora::cli
