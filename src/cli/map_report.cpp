#include "cli/map_report.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/report_text.h"
#include "documents/comm_lists.h"
#include "image/image_format.h"
#include "image/project_check.h"
#include "modbus/protocol.h"

namespace velmora::cli {

namespace {

constexpr std::array<MapSide, 2> kSides = {MapSide::Read, MapSide::Write};

std::string_view csvSideName(MapSide side) { return side == MapSide::Read ? "read" : "write"; }

std::string choiceNumber(std::uint16_t choice) {
    return choice == 0 ? std::string() : std::to_string(choice);
}

std::string registerNumber(const DecodedRegister& r, std::int64_t base) {
    return std::to_string(static_cast<std::int64_t>(r.index) + base);
}

// The node a register names; the decoder leaves positions past the node table to the check.
const DeviceNode* nodeOf(const DeviceMap& map, const DecodedRegister& r) {
    return r.nodePosition < map.nodes.size() ? &map.nodes[r.nodePosition] : nullptr;
}

std::string html(std::string_view text) {
    std::string s;
    for (const char c : text) {
        switch (c) {
            case '&':
                s += "&amp;";
                break;
            case '<':
                s += "&lt;";
                break;
            case '>':
                s += "&gt;";
                break;
            case '"':
                s += "&quot;";
                break;
            default:
                s += c;
        }
    }
    return s;
}

// The meaning of a stored value in words, or "unknown (N)" for a value outside its list.
template <typename Meaning, std::size_t N>
std::string item(const CommList<Meaning, N>& list, std::int64_t value) {
    const auto label = list.labelOf(value);
    return label ? std::string(*label) : "unknown (" + std::to_string(value) + ")";
}

std::string byteName(std::uint16_t choice) {
    return choice == 0 ? std::string("None") : "Byte " + std::to_string(choice);
}

constexpr std::string_view kStyle = R"(
@page { size: A4; margin: 14mm 12mm; }
* { box-sizing: border-box; }
html { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
body { font-family: sans-serif; font-size: 9.5pt; color: #111; margin: 0 auto; max-width: 186mm;
       padding: 6mm 0; }
h1 { font-size: 16pt; margin: 0 0 2mm; }
h2 { font-size: 12pt; margin: 7mm 0 2mm; border-bottom: 0.6pt solid #444; break-after: avoid; }
table { border-collapse: collapse; width: 100%; }
thead { display: table-header-group; }
tr { break-inside: avoid; }
th, td { border: 0.5pt solid #999; padding: 0.8mm 2mm; text-align: left; vertical-align: top; }
th { background: #e8e8e8; }
.num { text-align: right; font-variant-numeric: tabular-nums; }
table.sheet th, table.settings th { width: 40mm; white-space: nowrap; }
.fingerprint { font-family: monospace; font-size: 11pt; }
.headed { margin: 2mm 0 4mm; }
.headed > .cover, tr.heading th { height: 6mm; line-height: 6mm; padding: 0; border: 0;
       background: #fff; font-size: 10pt; font-weight: bold; text-align: left;
       white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
/* A mnemonic without blanks wraps anywhere rather than push the table off the page. */
table.nodes td:nth-child(3), table.registers td:nth-child(4) { overflow-wrap: anywhere; }
.headed > .cover { position: relative; z-index: 1; }
.headed > table { margin-top: -6mm; }
.continued { font-weight: normal; color: #555; }
table.node { table-layout: fixed; }
table.node col.label { width: 30mm; }
td.byte { text-align: center; font-size: 7.5pt; padding: 0.4mm 0.8mm; background: #f4f8ff; }
td.byte b { display: block; font-size: 7pt; color: #555; font-weight: normal; }
/* Plain grey: a gradient hatch in every free cell made a printed PDF 25 times larger. */
td.byte.free { background: #ddd; color: #666; }
.legend { color: #444; }
tr.repeated td { background: #fde8e8; }
tr.dropped td { background: #eee; color: #555; font-style: italic; }
)";

// The settings as the device holds them (the image's parameter block), in words; the protocol,
// of which the image keeps only the framing, as the composer read it.
void writeSettings(const DeviceMap& map, std::ostream& out) {
    out << "<h2>Communication settings</h2>\n";
    if (!map.parameters) {
        out << "<p>pargen.xml is missing: the image carries no communication settings.</p>\n";
        return;
    }
    const DecodedParameters& p = *map.parameters;
    const std::string protocol =
        map.protocol ? item(kSerialProtocolList, *map.protocol) : std::string("unknown");
    const std::array<std::pair<std::string_view, std::string>, 3> rows = {{
        {"DeviceNet master", "ID " + std::to_string(p.deviceNetId) + ", baud rate " +
                                 item(kDnetBaudList, p.deviceNetBaud)},
        {"Serial line", item(kSerialLineList, p.lineType) + ", " +
                            item(kSerialBaudList, p.serialBaud) + " baud, parity " +
                            item(kSerialParityList, p.parity) + ", ID " +
                            std::to_string(p.serialId) + ", " + protocol},
        {"Hardware", item(kHardwareList, p.hardware)},
    }};
    out << "<table class=\"settings\">\n";
    for (const auto& [label, words] : rows) {
        out << "<tr><th>" << label << "</th><td>" << html(words) << "</td></tr>\n";
    }
    out << "</table>\n";
}

// Opens a table whose heading comes back, marked "(continued)", at the top of every printed page
// the table runs on to. Browsers repeat a table's <thead> on each page, but CSS cannot tell the
// first copy from the repeats, so the thead's heading row always says "(continued)"; on the first
// page a block of exactly that row's height, drawn above the table (which is pulled up under it
// by the same height), covers it and shows `first` instead. The repeats have no cover. `prelude`
// (a <colgroup>) and `columnHeads` (a row of <th>) may be empty. The heading is one line, cut
// where it is too long: `title`, when given, is its full text, shown when pointed at.
void openHeadedTable(std::string_view tableClass, std::string_view first, std::string_view heading,
                     std::size_t columns, std::string_view prelude, std::string_view columnHeads,
                     std::ostream& out, std::string_view title = {}) {
    const std::string titled =
        title.empty() ? std::string() : " title=\"" + std::string(title) + "\"";
    out << "<div class=\"headed\"><div class=\"cover\"" << titled << ">" << first
        << "</div>\n<table class=\"" << tableClass << "\">" << prelude
        << "<thead><tr class=\"heading\"><th colspan=\"" << columns << "\"" << titled << ">"
        << heading << " <span class=\"continued\">(continued)</span></th></tr>" << columnHeads
        << "</thead>\n<tbody>\n";
}

void closeHeadedTable(std::ostream& out) { out << "</tbody>\n</table></div>\n"; }

void writeNodes(const DeviceMap& map, std::ostream& out) {
    out << "<h2>DeviceNet nodes</h2>\n";
    if (map.nodes.empty()) {
        out << "<p>No nodes.</p>\n";
        return;
    }
    openHeadedTable("nodes", "Node: the position in the DeviceNet list, as NrDNNode names it",
                    "DeviceNet nodes", 7, "",
                    "<tr><th class=\"num\">Node</th><th class=\"num\">ID</th><th>Mnemonic</th>"
                    "<th class=\"num\">Input bytes</th><th class=\"num\">Output bytes</th><th "
                    "class=\"num\">Input start</th><th class=\"num\">Output start</th></tr>",
                    out);
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        const DeviceNode& n = map.nodes[i];
        out << "<tr><td class=\"num\">" << i + 1 << "</td><td class=\"num\">" << int{n.id}
            << "</td><td>" << html(n.mnemonic) << "</td><td class=\"num\">" << n.bytesIn
            << "</td><td class=\"num\">" << n.bytesOut << "</td><td class=\"num\">" << n.inputStart
            << "</td><td class=\"num\">" << n.outputStart << "</td></tr>\n";
    }
    closeHeadedTable(out);
}

// How each map is addressed over Modbus: its function codes, short and in words.
struct SideWords {
    std::string_view name;
    std::string codes;
    std::string functions;
    std::string_view bytes;

    std::string heading() const { return std::string(name) + ": function " + codes; }
};

SideWords sideWords(MapSide side) {
    using namespace modbus;
    const auto code = [](std::uint8_t c) { return std::to_string(c); };
    if (side == MapSide::Read) {
        return {"Read map (Modbus_Read)",
                code(kReadHoldingRegisters) + " or " + code(kReadInputRegisters),
                "Function " + code(kReadHoldingRegisters) + " (read holding registers) or " +
                    code(kReadInputRegisters) + " (read input registers)",
                "output"};
    }
    return {"Write map (Modbus_Write)",
            code(kWriteSingleRegister) + " or " + code(kWriteMultipleRegisters),
            "Function " + code(kWriteSingleRegister) + " (write single register) or " +
                code(kWriteMultipleRegisters) + " (write multiple registers)",
            "input"};
}

void writeRegister(const DeviceMap& map, const DecodedRegister& r, bool repeated, std::int64_t base,
                   std::ostream& out) {
    const DeviceNode* node = nodeOf(map, r);
    out << (repeated ? "<tr class=\"repeated\">" : "<tr>") << "<td class=\"num\">"
        << registerNumber(r, base) << (repeated ? " (repeated)" : "") << "</td><td class=\"num\">"
        << int{r.nodePosition} + 1 << "</td><td class=\"num\">"
        << (node ? std::to_string(node->id) : std::string("?")) << "</td><td>"
        << (node ? html(node->mnemonic) : std::string()) << "</td><td>" << byteName(r.highByte())
        << "</td><td>" << byteName(r.lowByte()) << "</td></tr>\n";
}

// A dropped row, with the later rows of its list on the same node, at the first row's register.
void writeDropped(const DroppedRegister& d, std::string_view listName, std::size_t nodes,
                  std::int64_t base, std::ostream& out) {
    const std::string number =
        d.indexValue ? std::to_string(static_cast<std::int64_t>(*d.indexValue) + base) : d.index;
    out << "<tr class=\"dropped\"><td class=\"num\">" << html(number) << "</td><td class=\"num\">"
        << d.node << "</td><td class=\"num\">&ndash;</td><td colspan=\"3\">dropped from the image: "
        << "node " << d.node << " is past the " << plural(nodes, "node")
        << " of the DeviceNet list (" << listName << " " << rowsText(d.row, d.moreRows)
        << ")</td></tr>\n";
}

// One map by register, the rows dropped from the image marked among them by their index (those
// whose index is not a number last), and every index the image holds more than once marked.
void writeRegisters(const DeviceMap& map, MapSide side, std::int64_t base, std::ostream& out) {
    const auto& registers = map.map(side);
    std::vector<const DroppedRegister*> dropped;
    for (const DroppedRegister& d : map.dropped(side)) dropped.push_back(&d);
    std::stable_sort(dropped.begin(), dropped.end(), [](const auto* a, const auto* b) {
        return a->indexValue.has_value() && (!b->indexValue || *a->indexValue < *b->indexValue);
    });
    const SideWords words = sideWords(side);
    const std::string_view listName =
        side == MapSide::Read ? image_format::kReadList : image_format::kWriteList;
    out << "<h2>" << words.heading() << "</h2>\n";
    if (registers.empty() && dropped.empty()) {
        out << "<p>No registers.</p>\n";
        return;
    }
    openHeadedTable(
        std::string("registers ") + std::string(csvSideName(side)),
        words.functions + ", on the nodes' " + std::string(words.bytes) + " bytes", words.heading(),
        6, "",
        "<tr><th class=\"num\">Register</th><th class=\"num\">Node</th><th "
        "class=\"num\">ID</th><th>Mnemonic</th><th>High byte</th><th>Low byte</th></tr>",
        out);
    std::size_t next = 0;  // the next dropped row
    for (std::size_t i = 0; i < registers.size(); ++i) {
        const DecodedRegister& r = registers[i];
        for (; next < dropped.size() && dropped[next]->indexValue &&
               *dropped[next]->indexValue < r.index;
             ++next) {
            writeDropped(*dropped[next], listName, map.nodes.size(), base, out);
        }
        // The map is by index: a repeated index stands beside its twin.
        const bool repeated = (i > 0 && registers[i - 1].index == r.index) ||
                              (i + 1 < registers.size() && registers[i + 1].index == r.index);
        writeRegister(map, r, repeated, base, out);
    }
    for (; next < dropped.size(); ++next) {
        writeDropped(*dropped[next], listName, map.nodes.size(), base, out);
    }
    closeHeadedTable(out);
}

// Which registers carry each byte of each node on one side: "40001 H".
using Carriers = std::map<std::pair<std::size_t, std::uint16_t>, std::vector<std::string>>;

Carriers carriers(const DeviceMap& map, MapSide side, std::int64_t base) {
    Carriers result;
    for (const DecodedRegister& r : map.map(side)) {
        const std::size_t node = r.nodePosition;
        if (r.highByte() != 0)
            result[{node, r.highByte()}].push_back(registerNumber(r, base) + " H");
        if (r.lowByte() != 0) result[{node, r.lowByte()}].push_back(registerNumber(r, base) + " L");
    }
    return result;
}

// Byte boxes in a node's table: this many a row.
constexpr std::uint16_t kBytesPerRow = 8;

// One direction of a node's bytes as rows of boxes, each box with the registers carrying it.
void writeByteRows(std::size_t node, std::uint16_t count, const Carriers& carried,
                   std::string_view label, std::ostream& out) {
    if (count == 0) {
        out << "<tr><th>" << label << " bytes</th><td colspan=\"" << kBytesPerRow
            << "\">none</td></tr>\n";
        return;
    }
    for (std::uint32_t first = 1; first <= count; first += kBytesPerRow) {
        const std::uint32_t last = std::min<std::uint32_t>(count, first + kBytesPerRow - 1);
        out << "<tr><th>" << label << " " << first;
        if (last > first) out << "&ndash;" << last;
        out << "</th>";
        for (std::uint32_t b = first; b <= last; ++b) {
            const auto at = carried.find({node, static_cast<std::uint16_t>(b)});
            if (at == carried.end()) {
                out << "<td class=\"byte free\"><b>" << b << "</b>&ndash;</td>";
                continue;
            }
            out << "<td class=\"byte\"><b>" << b << "</b>";
            for (std::size_t i = 0; i < at->second.size(); ++i) {
                out << (i ? "<br>" : "") << at->second[i];
            }
            out << "</td>";
        }
        out << "</tr>\n";
    }
}

void writeBytePictures(const DeviceMap& map, std::int64_t base, std::ostream& out) {
    out << "<h2>Node bytes</h2>\n";
    if (map.nodes.empty()) {
        out << "<p>No nodes.</p>\n";
        return;
    }
    out << "<p class=\"legend\">Each box is one byte of the node, with the registers that carry "
           "it (H high byte, L low byte); a grey box with a dash is a byte that no register "
           "carries. "
           "Output bytes are read through the read map, input bytes written through the write "
           "map.</p>\n";
    const Carriers read = carriers(map, MapSide::Read, base);
    const Carriers write = carriers(map, MapSide::Write, base);
    const std::string columns = "<colgroup><col class=\"label\"><col span=\"" +
                                std::to_string(kBytesPerRow) + "\"></colgroup>";
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        const DeviceNode& n = map.nodes[i];
        const std::string heading = "Node " + std::to_string(i + 1) + " (ID " +
                                    std::to_string(n.id) + ")" +
                                    (n.mnemonic.empty() ? "" : " " + html(n.mnemonic));
        openHeadedTable("node", heading, heading, kBytesPerRow + 1, columns, "", out,
                        n.mnemonic.empty() ? std::string_view() : std::string_view(heading));
        writeByteRows(i, n.bytesOut, read, "Output", out);
        writeByteRows(i, n.bytesIn, write, "Input", out);
        closeHeadedTable(out);
    }
}

// What matches the sheet to a device: the image's fingerprint and date, the gateway's Modbus ID,
// and how the registers are numbered and addressed.
void writeSheetHead(const DeviceMap& map, const MapPage& page, std::ostream& out) {
    const std::string modbusId =
        map.parameters ? std::to_string(map.parameters->serialId)
                       : std::string("none: pargen.xml is missing, the image has no settings");
    out << "<table class=\"sheet\">\n<tr><th>Image</th><td><b class=\"fingerprint\">"
        << map.fingerprint << "</b>, composed " << html(page.date)
        << " &middot; the first 8 hex digits of the SHA-256 of bank.bin, as velmora-cli inspect "
           "prints them</td></tr>\n<tr><th>Gateway Modbus ID</th><td><b>"
        << modbusId << "</b></td></tr>\n<tr><th>Registers</th><td>"
        << plural(map.readMap.size(), "read register") << " (function "
        << sideWords(MapSide::Read).codes << "), " << plural(map.writeMap.size(), "write register")
        << " (function " << sideWords(MapSide::Write).codes << "); register = index + " << page.base
        << "</td></tr>\n</table>\n";
}

}  // namespace

std::vector<RepeatedIndex> repeatedIndexes(const DeviceMap& map) {
    std::vector<RepeatedIndex> repeated;
    for (const MapSide side : kSides) {
        const auto& registers = map.map(side);  // by index
        for (std::size_t i = 0; i < registers.size();) {
            std::size_t j = i + 1;
            while (j < registers.size() && registers[j].index == registers[i].index) ++j;
            if (j - i > 1) repeated.push_back({side, registers[i].index, j - i});
            i = j;
        }
    }
    return repeated;
}

std::string repeatedIndexText(const RepeatedIndex& repeated, std::int64_t base) {
    return "register " + std::to_string(static_cast<std::int64_t>(repeated.index) + base) +
           " stands " + std::to_string(repeated.times) + " times in the " +
           std::string(csvSideName(repeated.side)) + " map";
}

void writeMapCsv(const DeviceMap& map, std::int64_t base, std::ostream& out) {
    out << kMapCsvHeader << "\r\n";
    for (const MapSide side : kSides) {
        for (const DecodedRegister& r : map.map(side)) {
            const DeviceNode* node = nodeOf(map, r);
            out << csvSideName(side) << ',' << registerNumber(r, base) << ','
                << int{r.nodePosition} + 1 << ','
                << (node ? std::to_string(node->id) : std::string()) << ','
                << (node ? csvText(node->mnemonic) : std::string()) << ','
                << choiceNumber(r.highByte()) << ',' << choiceNumber(r.lowByte()) << "\r\n";
        }
    }
}

void writeMapHtml(const DeviceMap& map, const MapPage& page, std::ostream& out) {
    const std::string title = "Register map: " + html(page.project);
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << title
        << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>" << title << "</h1>\n";
    writeSheetHead(map, page, out);
    writeSettings(map, out);
    writeNodes(map, out);
    for (const MapSide side : kSides) writeRegisters(map, side, page.base, out);
    writeBytePictures(map, page.base, out);
    out << "</body>\n</html>\n";
}

}  // namespace velmora::cli
