#include "cli/map_report.h"

#include <array>
#include <map>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/report_text.h"
#include "documents/comm_settings.h"
#include "image/image_format.h"

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
std::string item(std::span<const std::string_view> names, std::int64_t value) {
    if (value < 0 || static_cast<std::uint64_t>(value) >= names.size()) {
        return "unknown (" + std::to_string(value) + ")";
    }
    return std::string(names[static_cast<std::size_t>(value)]);
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
h1 { font-size: 16pt; margin: 0 0 1mm; }
h2 { font-size: 12pt; margin: 7mm 0 2mm; border-bottom: 0.6pt solid #444; break-after: avoid; }
h3 { font-size: 10pt; margin: 4mm 0 1.5mm; break-after: avoid; }
p.meta { margin: 0; color: #444; }
table { border-collapse: collapse; width: 100%; }
thead { display: table-header-group; }
tr { break-inside: avoid; }
th, td { border: 0.5pt solid #999; padding: 0.8mm 2mm; text-align: left; vertical-align: top; }
th { background: #e8e8e8; }
.num { text-align: right; font-variant-numeric: tabular-nums; }
table.settings th { width: 40mm; white-space: nowrap; }
.node { break-inside: avoid; }
.side { margin: 1mm 0 2mm; }
.side > span { display: block; color: #444; margin-bottom: 0.8mm; }
.bytes { display: flex; flex-wrap: wrap; gap: 0.8mm; }
.byte { min-width: 15mm; border: 0.5pt solid #777; text-align: center; font-size: 7.5pt;
        padding: 0.4mm 0.8mm; background: #f4f8ff; }
.byte b { display: block; font-size: 7pt; color: #555; font-weight: normal; }
.byte.free { background: repeating-linear-gradient(45deg, #fff 0 1mm, #ddd 1mm 2mm); color: #777; }
.legend { color: #444; }
tr.repeated td { background: #fde8e8; }
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
        map.protocol ? item(kSerialProtocolNames, *map.protocol) : std::string("unknown");
    const std::array<std::pair<std::string_view, std::string>, 3> rows = {{
        {"DeviceNet master", "ID " + std::to_string(p.deviceNetId) + ", baud rate " +
                                 item(image_format::kDeviceNetBauds, p.deviceNetBaud)},
        {"Serial line", item(image_format::kLineTypes, p.lineType) + ", " +
                            item(image_format::kSerialBauds, p.serialBaud) + " baud, parity " +
                            item(image_format::kParities, p.parity) + ", ID " +
                            std::to_string(p.serialId) + ", " + protocol},
        {"Hardware", item(image_format::kHardwareTypes, p.hardware)},
    }};
    out << "<table class=\"settings\">\n";
    for (const auto& [label, words] : rows) {
        out << "<tr><th>" << label << "</th><td>" << html(words) << "</td></tr>\n";
    }
    out << "</table>\n";
}

void writeNodes(const DeviceMap& map, std::ostream& out) {
    out << "<h2>DeviceNet nodes</h2>\n";
    if (map.nodes.empty()) {
        out << "<p>No nodes.</p>\n";
        return;
    }
    out << "<table class=\"nodes\">\n<thead><tr><th class=\"num\">Node</th><th class=\"num\">ID"
           "</th><th>Mnemonic</th><th class=\"num\">Input bytes</th><th class=\"num\">Output "
           "bytes</th><th class=\"num\">Input start</th><th class=\"num\">Output start</th></tr>"
           "</thead>\n<tbody>\n";
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        const DeviceNode& n = map.nodes[i];
        out << "<tr><td class=\"num\">" << i + 1 << "</td><td class=\"num\">" << int{n.id}
            << "</td><td>" << html(n.mnemonic) << "</td><td class=\"num\">" << n.bytesIn
            << "</td><td class=\"num\">" << n.bytesOut << "</td><td class=\"num\">" << n.inputStart
            << "</td><td class=\"num\">" << n.outputStart << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n";
}

std::string_view sideTitle(MapSide side) {
    return side == MapSide::Read ? "Read map (Modbus_Read), on the nodes' output bytes"
                                 : "Write map (Modbus_Write), on the nodes' input bytes";
}

void writeRegisters(const DeviceMap& map, MapSide side, std::int64_t base, std::ostream& out) {
    const auto& registers = map.map(side);
    out << "<h2>" << sideTitle(side) << "</h2>\n";
    if (registers.empty()) {
        out << "<p>No registers.</p>\n";
        return;
    }
    out << "<table class=\"registers " << csvSideName(side)
        << "\">\n<thead><tr><th class=\"num\">Register</th><th class=\"num\">Node</th><th "
           "class=\"num\">ID</th><th>Mnemonic</th><th>High byte</th><th>Low byte</th></tr>"
           "</thead>\n<tbody>\n";
    for (std::size_t i = 0; i < registers.size(); ++i) {
        const DecodedRegister& r = registers[i];
        const DeviceNode* node = nodeOf(map, r);
        // The map is by index: a repeated index stands beside its twin.
        const bool repeated = (i > 0 && registers[i - 1].index == r.index) ||
                              (i + 1 < registers.size() && registers[i + 1].index == r.index);
        out << (repeated ? "<tr class=\"repeated\">" : "<tr>") << "<td class=\"num\">"
            << registerNumber(r, base) << (repeated ? " (repeated)" : "")
            << "</td><td class=\"num\">" << int{r.nodePosition} + 1 << "</td><td class=\"num\">"
            << (node ? std::to_string(node->id) : std::string("?")) << "</td><td>"
            << (node ? html(node->mnemonic) : std::string()) << "</td><td>"
            << byteName(r.highByte()) << "</td><td>" << byteName(r.lowByte()) << "</td></tr>\n";
    }
    out << "</tbody>\n</table>\n";
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

void writeByteStrip(std::size_t node, std::uint16_t count, const Carriers& carried,
                    std::string_view label, std::ostream& out) {
    out << "<div class=\"side\"><span>" << label << ": " << count << " byte"
        << (count == 1 ? "" : "s") << "</span><div class=\"bytes\">";
    for (std::uint16_t b = 1; b <= count; ++b) {
        const auto at = carried.find({node, b});
        if (at == carried.end()) {
            out << "<div class=\"byte free\"><b>" << b << "</b>&ndash;</div>";
            continue;
        }
        out << "<div class=\"byte\"><b>" << b << "</b>";
        for (std::size_t i = 0; i < at->second.size(); ++i) {
            out << (i ? "<br>" : "") << at->second[i];
        }
        out << "</div>";
    }
    out << "</div></div>\n";
}

void writeBytePictures(const DeviceMap& map, std::int64_t base, std::ostream& out) {
    out << "<h2>Node bytes</h2>\n";
    if (map.nodes.empty()) {
        out << "<p>No nodes.</p>\n";
        return;
    }
    out << "<p class=\"legend\">Each box is one byte of the node, with the registers that carry "
           "it (H high byte, L low byte); a hatched box is a byte that no register carries.</p>\n";
    const Carriers read = carriers(map, MapSide::Read, base);
    const Carriers write = carriers(map, MapSide::Write, base);
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        const DeviceNode& n = map.nodes[i];
        out << "<div class=\"node\"><h3>Node " << i + 1 << " (ID " << int{n.id} << ")"
            << (n.mnemonic.empty() ? "" : " " + html(n.mnemonic)) << "</h3>\n";
        writeByteStrip(i, n.bytesOut, read, "Output bytes, read map", out);
        writeByteStrip(i, n.bytesIn, write, "Input bytes, write map", out);
        out << "</div>\n";
    }
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
        << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>" << title
        << "</h1>\n<p class=\"meta\">" << html(page.date) << " &middot; " << map.readMap.size()
        << " read and " << map.writeMap.size() << " write registers"
        << " &middot; register = index + " << page.base << "</p>\n";
    writeSettings(map, out);
    writeNodes(map, out);
    for (const MapSide side : kSides) writeRegisters(map, side, page.base, out);
    writeBytePictures(map, page.base, out);
    out << "</body>\n</html>\n";
}

}  // namespace velmora::cli
