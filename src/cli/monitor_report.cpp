#include "cli/monitor_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/report_text.h"
#include "modbus/protocol.h"

namespace velmora::cli {

namespace {

std::vector<std::size_t> byteCounts(const std::vector<DeviceNode>& nodes) {
    std::vector<std::size_t> counts;
    counts.reserve(nodes.size());
    for (const DeviceNode& node : nodes) counts.push_back(node.bytesOut);
    return counts;
}

std::string hex2(std::uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// The node bytes no register carries: none; the others 0.
NodeByteValues carriedBytes(const MonitorView& view) {
    const modbus::RegisterValues zeros(view.plan.registers.size(), std::uint16_t{0});
    return modbus::nodeBytes(view.plan, byteCounts(view.nodes), zeros);
}

// "11", "??" for a carried byte that did not read, ".." for one no register carries.
std::string byteCell(const std::optional<std::uint8_t>& value, bool carried) {
    if (value) return hex2(*value);
    return carried ? "??" : "..";
}

// "byte 2 = 22", "--" for no byte.
std::string choiceCell(std::uint16_t byteNumber, std::optional<std::uint8_t> value) {
    if (byteNumber == 0) return "--";
    return "byte " + std::to_string(byteNumber) + " = " + (value ? hex2(*value) : "??");
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string rightAligned(const std::string& text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

std::string heading(const MonitorView& view, const PollResult& poll) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.1f ms",
                  static_cast<double>(poll.duration.count()) / 1000.0);
    return "unit " + std::to_string(view.unit) + " on " + view.target + " (" + view.framing +
           "), function " + std::to_string(view.function) + ": " +
           plural(view.plan.registers.size(), "register") + " in " +
           plural(poll.requests, "request") + ", " + duration;
}

std::string problemLine(const PollProblem& problem) {
    const std::string where =
        problem.count == 1
            ? "register " + std::to_string(problem.first)
            : "registers " + std::to_string(problem.first) + " to " +
                  std::to_string(static_cast<unsigned>(problem.first) + problem.count - 1);
    return where + ": " + problem.text;
}

// The width of a register's high and low byte columns: "byte 455 = FF" and two spaces.
constexpr std::size_t kChoiceWidth = 15;

std::string registerLine(const MonitorView& view, const modbus::PolledRegister& r,
                         const std::optional<std::uint16_t>& value) {
    const auto high = value ? std::optional<std::uint8_t>(*value >> 8) : std::nullopt;
    const auto low = value ? std::optional<std::uint8_t>(*value & 0xFF) : std::nullopt;
    const std::string nodeId =
        r.nodePosition < view.nodes.size() ? std::to_string(view.nodes[r.nodePosition].id) : "?";
    return rightAligned(std::to_string(r.index), 8) + "  " +
           rightAligned(std::to_string(r.nodePosition + 1), 4) + "  " + rightAligned(nodeId, 3) +
           "  " + padded(choiceCell(r.highByte, high), kChoiceWidth) +
           padded(choiceCell(r.lowByte, low), kChoiceWidth) + (value ? hex4(*value) : "????");
}

constexpr char kNodeHeading[] = "node   ID  mnemonic              bytes";
constexpr char kRegisterHeading[] = "register  node   ID  high           low            value";

// A node line's start; the bytes follow, three characters each.
std::string nodeLead(const DeviceNode& node, std::size_t position) {
    return rightAligned(std::to_string(position + 1), 4) + "  " +
           rightAligned(std::to_string(node.id), 3) + "  " + padded(node.mnemonic, 20) + "  ";
}

// The live table's node heading: above each node's bytes, the number of every eighth byte.
ScreenLine byteRuler(const std::vector<DeviceNode>& nodes, std::size_t lead) {
    std::size_t most = 0;
    for (const DeviceNode& node : nodes) most = std::max<std::size_t>(most, node.bytesOut);
    if (most == 0) return {kNodeHeading, {}, true, 0};
    std::string text = padded("node   ID  mnemonic", lead - 6) + "bytes ";
    for (std::size_t b = 0; b < most; b += 8) {
        text = padded(std::move(text), lead + 3 * b) + std::to_string(b + 1);
    }
    return {text, {}, true, lead};
}

std::string milliseconds(std::chrono::microseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(time.count()) / 1000.0);
    return text;
}

std::string exceptionCounts(const PollStats& stats) {
    if (stats.exceptions.empty()) return "none";
    std::string text;
    for (const auto& [code, count] : stats.exceptions) {
        if (!text.empty()) text += ", ";
        text += std::to_string(code) + ": " + std::to_string(count);
    }
    return text;
}

// "; link lost 2 times" after `lead`, or nothing while the link has held.
std::string linkLosses(std::string_view lead, const PollStats& stats) {
    if (stats.linkLosses == 0) return {};
    return std::string(lead) + plural(stats.linkLosses, "time");
}

}  // namespace

NodeByteValues pollNodeBytes(const MonitorView& view, const PollResult& poll) {
    return modbus::nodeBytes(view.plan, byteCounts(view.nodes), poll.values);
}

void writePollText(const MonitorView& view, const PollResult& poll, std::ostream& out) {
    const NodeByteValues bytes = pollNodeBytes(view, poll);
    const NodeByteValues carried = carriedBytes(view);
    out << heading(view, poll) << "\n" << kNodeHeading << "\n";
    for (std::size_t n = 0; n < view.nodes.size(); ++n) {
        std::string line = nodeLead(view.nodes[n], n);
        for (std::size_t b = 0; b < bytes[n].size(); ++b) {
            line += (b ? " " : "") + byteCell(bytes[n][b], carried[n][b].has_value());
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
    out << kRegisterHeading << "\n";
    for (std::size_t i = 0; i < view.plan.registers.size(); ++i) {
        out << registerLine(view, view.plan.registers[i], poll.values[i]) << "\n";
    }
    for (const PollProblem& problem : poll.problems) out << problemLine(problem) << "\n";
}

void writePollJson(const MonitorView& view, const PollResult& poll, std::ostream& out) {
    using Json = nlohmann::ordered_json;
    const NodeByteValues bytes = pollNodeBytes(view, poll);
    const NodeByteValues carried = carriedBytes(view);
    Json nodes = Json::array();
    for (std::size_t n = 0; n < view.nodes.size(); ++n) {
        Json values = Json::array();
        for (const auto& b : bytes[n]) values.push_back(b ? Json(*b) : Json(nullptr));
        Json carries = Json::array();
        for (const auto& b : carried[n]) carries.push_back(b.has_value());
        nodes.push_back({{"node", n + 1},
                         {"id", view.nodes[n].id},
                         {"mnemonic", view.nodes[n].mnemonic},
                         {"bytes", std::move(values)},
                         {"carried", std::move(carries)}});
    }
    const auto orNull = [](std::uint16_t choice) { return choice ? Json(choice) : Json(nullptr); };
    Json registers = Json::array();
    for (std::size_t i = 0; i < view.plan.registers.size(); ++i) {
        const modbus::PolledRegister& r = view.plan.registers[i];
        const bool known = r.nodePosition < view.nodes.size();
        registers.push_back(
            {{"register", r.index},
             {"node", r.nodePosition + 1},
             {"node_id", known ? Json(view.nodes[r.nodePosition].id) : Json(nullptr)},
             {"mnemonic", known ? view.nodes[r.nodePosition].mnemonic : std::string()},
             {"high_byte", orNull(r.highByte)},
             {"low_byte", orNull(r.lowByte)},
             {"value", poll.values[i] ? Json(*poll.values[i]) : Json(nullptr)}});
    }
    Json errors = Json::array();
    for (const PollProblem& p : poll.problems) {
        errors.push_back({{"register", p.first}, {"count", p.count}, {"error", p.text}});
    }
    const Json report = {{"target", view.target},
                         {"framing", view.framing},
                         {"unit", view.unit},
                         {"function", view.function},
                         {"time", timeStamp(poll.time)},
                         {"requests", poll.requests},
                         {"nodes", std::move(nodes)},
                         {"registers", std::move(registers)},
                         {"errors", std::move(errors)}};
    out << report.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
}

void writePollCsv(const MonitorView& view, const PollResult& poll, std::ostream& out,
                  const modbus::RegisterValues* previous) {
    const std::string time = timeStamp(poll.time);
    const auto choice = [](std::uint16_t c) { return c ? std::to_string(c) : std::string(); };
    for (std::size_t i = 0; i < view.plan.registers.size(); ++i) {
        if (previous && i < previous->size() && (*previous)[i] == poll.values[i]) continue;
        const modbus::PolledRegister& r = view.plan.registers[i];
        const bool known = r.nodePosition < view.nodes.size();
        out << time << ',' << r.index << ',' << r.nodePosition + 1 << ','
            << (known ? std::to_string(view.nodes[r.nodePosition].id) : std::string()) << ','
            << (known ? csvText(view.nodes[r.nodePosition].mnemonic) : std::string()) << ','
            << choice(r.highByte) << ',' << choice(r.lowByte) << ','
            << (poll.values[i] ? std::to_string(*poll.values[i]) : std::string()) << "\r\n";
    }
}

void writeCsvNote(std::chrono::system_clock::time_point time, const std::string& text,
                  std::ostream& out) {
    out << timeStamp(time) << ",,,," << csvText(text) << ",,,\r\n";
}

ScreenLine scrolledSideways(const ScreenLine& line, std::size_t left) {
    const std::size_t fixed = std::min(line.fixed, line.text.size());
    if (left == 0 || fixed == line.text.size()) return line;
    ScreenLine shown{line.text.substr(0, fixed), {}, line.heading, fixed};
    if (fixed + left < line.text.size()) shown.text += line.text.substr(fixed + left);
    for (const auto& [from, to] : line.highlights) {
        if (to <= fixed) {
            shown.highlights.emplace_back(from, to);
        } else if (from >= fixed + left) {
            shown.highlights.emplace_back(from - left, to - left);
        }
    }
    return shown;
}

std::vector<ScreenLine> liveTable(const MonitorView& view, const PollResult& poll,
                                  const NodeByteValues& previous) {
    const NodeByteValues bytes = pollNodeBytes(view, poll);
    const NodeByteValues carried = carriedBytes(view);
    std::vector<ScreenLine> lines;
    std::string top = heading(view, poll);
    const std::size_t whole = top.size();  // the heading stays when scrolled sideways
    lines.push_back({std::move(top), {}, true, whole});
    // Every node's bytes start in the same column, under the ruler, however long its mnemonic.
    std::size_t lead = 0;
    for (std::size_t n = 0; n < view.nodes.size(); ++n) {
        lead = std::max(lead, nodeLead(view.nodes[n], n).size());
    }
    lines.push_back(byteRuler(view.nodes, lead));
    for (std::size_t n = 0; n < view.nodes.size(); ++n) {
        ScreenLine line{padded(nodeLead(view.nodes[n], n), lead), {}, false, lead};
        for (std::size_t b = 0; b < bytes[n].size(); ++b) {
            if (b) line.text += ' ';
            const bool changed = n < previous.size() && b < previous[n].size() &&
                                 previous[n][b] != bytes[n][b] && bytes[n][b].has_value();
            if (changed) line.highlights.emplace_back(line.text.size(), line.text.size() + 2);
            line.text += byteCell(bytes[n][b], carried[n][b].has_value());
        }
        lines.push_back(std::move(line));
    }
    lines.push_back({kRegisterHeading, {}, true});
    for (std::size_t i = 0; i < view.plan.registers.size(); ++i) {
        lines.push_back({registerLine(view, view.plan.registers[i], poll.values[i]), {}, false});
    }
    for (const PollProblem& problem : poll.problems) {
        lines.push_back({problemLine(problem), {}, true});
    }
    return lines;
}

std::string statusLine(const PollStats& stats) {
    return "poll " + std::to_string(stats.polls) + " | round trip median " +
           milliseconds(stats.median()) + ", worst " + milliseconds(stats.worst) + " | timeouts " +
           std::to_string(stats.timeouts) + " | CRC/LRC errors " +
           std::to_string(stats.checkErrors) + " | damaged " + std::to_string(stats.damaged) +
           " | exceptions: " + exceptionCounts(stats) + linkLosses(" | link lost ", stats);
}

std::string summaryText(const PollStats& stats) {
    return plural(stats.polls, "poll") + ", " + plural(stats.requests, "request") +
           "; round trip median " + milliseconds(stats.median()) + ", worst " +
           milliseconds(stats.worst) + "; " + plural(stats.timeouts, "timeout") + ", " +
           plural(stats.checkErrors, "CRC/LRC error") + ", " +
           plural(stats.damaged, "damaged answer") +
           "; exceptions by code: " + exceptionCounts(stats) + linkLosses("; link lost ", stats) +
           "\n";
}

}  // namespace velmora::cli
