#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/monitor_poll.h"
#include "image/device_map.h"
#include "modbus/poll_plan.h"

namespace velmora::cli {

// Node bytes by node position: a value, or none when no register carries the byte or its
// register did not read.
using NodeByteValues = std::vector<std::vector<std::optional<std::uint8_t>>>;

// What the reports say about the monitored gateway besides the poll.
struct MonitorView {
    const std::vector<DeviceNode>& nodes;
    const modbus::PollPlan& plan;
    std::string target;   // "127.0.0.1:502" or the device
    std::string framing;  // "Modbus TCP", "Modbus RTU", "Modbus ASCII"
    std::uint8_t unit = 1;
    std::uint8_t function = 3;
};

// The node bytes that `poll` carries.
NodeByteValues pollNodeBytes(const MonitorView& view, const PollResult& poll);

// One poll as text: a heading line, one line per node with its bytes in hexadecimal ("??" for a
// byte whose register did not read, ".." for a byte no register carries), one line per register
// with its node bytes and value, then the problems.
void writePollText(const MonitorView& view, const PollResult& poll, std::ostream& out);

// One poll as one JSON object: "target", "framing", "unit", "function", "time", "requests",
// "nodes" (node, id, mnemonic, bytes with null where unknown, and "carried": per byte, whether a
// register carries it, which tells a byte whose register did not answer from one no register
// carries), "registers" (register, node, node_id, mnemonic, high_byte, low_byte, value; null
// where none) and "errors" (register, count, error).
void writePollJson(const MonitorView& view, const PollResult& poll, std::ostream& out);

// The CSV columns of the poll log.
inline constexpr char kMonitorCsvHeader[] =
    "time,register,node,node_id,mnemonic,high_byte,low_byte,value";

// One CSV row per register of `poll` (CRLF line ends); high_byte and low_byte are byte numbers as
// in the map's CSV, value is empty for a register that did not read. With `previous` (the values
// last written, parallel to the plan's registers), only the rows whose value differs from it.
void writePollCsv(const MonitorView& view, const PollResult& poll, std::ostream& out,
                  const modbus::RegisterValues* previous = nullptr);

// A row of the poll log that tells an event instead of a register: the time, the event's text
// in the mnemonic column and every other column empty, so that the log keeps its columns.
void writeCsvNote(std::chrono::system_clock::time_point time, const std::string& text,
                  std::ostream& out);

// One line of the live table, with the character ranges [from, to) to highlight.
struct ScreenLine {
    std::string text;
    std::vector<std::pair<std::size_t, std::size_t>> highlights;
    bool heading = false;
    // The characters at the start that stay in place when the table is scrolled sideways (a
    // node's number, ID and mnemonic before its bytes).
    std::size_t fixed = 0;
};

// `line` as shown scrolled `left` columns sideways: its fixed start, then the rest from `left`
// on, with the highlights moved along (and those scrolled out dropped).
ScreenLine scrolledSideways(const ScreenLine& line, std::size_t left);

// The live table for `poll`: the heading, a ruler numbering every eighth byte, the nodes with the
// bytes that differ from `previous` highlighted, the registers, the problems of this poll; the
// status line comes separately.
std::vector<ScreenLine> liveTable(const MonitorView& view, const PollResult& poll,
                                  const NodeByteValues& previous);

// "poll 12 | round trip median 0.4 ms, worst 2.1 ms | timeouts 0 | CRC/LRC errors 0 |
// exceptions: none" (exceptions by code, as "2: 3").
std::string statusLine(const PollStats& stats);

// The summary at the end of a run: polls, requests, round trips, timeouts, errors, exceptions.
std::string summaryText(const PollStats& stats);

}  // namespace velmora::cli
