#include "modbus/simulated_gateway.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

namespace velmora::modbus {

namespace {

// The most registers one read or one write-multiple request may carry.
constexpr std::size_t kMaxReadRegisters = 125;
constexpr std::size_t kMaxWriteRegisters = 123;

std::uint16_t word(std::span<const std::uint8_t> pdu, std::size_t at) {
    return static_cast<std::uint16_t>(pdu[at] << 8 | pdu[at + 1]);
}

Answer exception(std::uint8_t code, std::string reason) {
    Answer answer;
    answer.kind = Answer::Kind::Exception;
    answer.exception = code;
    answer.reason = std::move(reason);
    return answer;
}

// Why [first, first + count) cannot be served from `map`: past the register space, or the first
// register of it the map lacks; none when every register is in the map.
template <typename Map>
std::optional<std::string> unmapped(const Map& map, std::uint32_t first, std::uint32_t count,
                                    const char* mapName) {
    if (first + count > 0x10000) {
        return "registers " + std::to_string(first) + " to " + std::to_string(first + count - 1) +
               " run past register 65535";
    }
    for (std::uint32_t index = first; index < first + count; ++index) {
        if (!map.contains(static_cast<std::uint16_t>(index))) {
            return "register " + std::to_string(index) + " is not in the " + mapName + " map";
        }
    }
    return std::nullopt;
}

Answer ignored(std::string reason) {
    Answer answer;
    answer.reason = std::move(reason);
    return answer;
}

std::string wrongLength(std::size_t size) {
    return "a request of " + std::to_string(size) + " bytes does not match its function";
}

}  // namespace

SimulatedGateway::SimulatedGateway(const DecodedImage& image, std::uint8_t unitId, bool tcp)
    : unitId_(unitId), tcp_(tcp) {
    for (const DecodedNode& node : image.nodes) {
        nodes_.push_back(
            {std::vector<std::uint8_t>(node.bytesIn), std::vector<std::uint8_t>(node.bytesOut)});
    }
    // A byte choice the node cannot hold (a node count lowered after the map was made, or a
    // hand-made image) would reach into another node's bytes: it is served as no byte instead.
    const auto place = [&](const DecodedRegister& reg, bool read) {
        Row row{reg.nodePosition, -1, -1};
        const bool known = reg.nodePosition < image.nodes.size();
        const std::size_t count = !known ? 0
                                         : (read ? image.nodes[reg.nodePosition].bytesOut
                                                 : image.nodes[reg.nodePosition].bytesIn);
        const char* side = read ? "Read" : "Write";
        const char* bytes = read ? "output" : "input";
        for (const auto& [choice, target] :
             {std::pair{reg.highByte(), &row.high}, std::pair{reg.lowByte(), &row.low}}) {
            if (choice == 0) continue;
            if (choice <= count) {
                *target = choice - 1;
            } else {
                warnings_.push_back(std::string(side) + " register " + std::to_string(reg.index) +
                                    " names " + bytes + " byte " + std::to_string(choice) +
                                    " of node " + std::to_string(reg.nodePosition + 1) +
                                    ", which has " + std::to_string(count) +
                                    (read ? ": it reads as 0" : ": it is not written"));
            }
        }
        return row;
    };
    for (const DecodedRegister& reg : image.readMap)
        readMap_.try_emplace(reg.index, place(reg, true));
    for (const DecodedRegister& reg : image.writeMap)
        writeMap_[reg.index].push_back(place(reg, false));

    // A repeated index is served one way, said once: a read answers with the first record of
    // the index, a write goes to every record of it.
    for (const bool read : {true, false}) {
        const auto& records = read ? image.readMap : image.writeMap;
        std::map<std::uint16_t, std::vector<std::size_t>> recordsOf;
        for (std::size_t i = 0; i < records.size(); ++i) recordsOf[records[i].index].push_back(i);
        for (const auto& [index, at] : recordsOf) {
            if (at.size() < 2) continue;
            ++repeatedIndexes_;
            std::string list;
            for (const std::size_t i : at) list += (list.empty() ? "" : ", ") + std::to_string(i);
            warnings_.push_back(
                std::string(read ? "Read" : "Write") + " register " + std::to_string(index) +
                " stands " + std::to_string(at.size()) + " times (records " + list + " of the " +
                (read ? "read" : "write") + " map): " +
                (read ? "a read is answered from record " + std::to_string(at.front())
                      : std::string("a write goes to every one of them")));
        }
    }
}

bool SimulatedGateway::accepts(std::uint8_t unit) const {
    return unit == unitId_ || (tcp_ && unit == kTcpAnyUnit);
}

Answer SimulatedGateway::handle(std::uint8_t unit, std::span<const std::uint8_t> pdu) {
    if (pdu.empty()) return ignored("a request without a function code");
    const bool broadcast = unit == kBroadcastUnit;
    if (!broadcast && !accepts(unit)) {
        return ignored("for unit " + std::to_string(unit) + "; this gateway is unit " +
                       std::to_string(unitId_));
    }
    Answer answer;
    switch (pdu[0]) {
        case kReadHoldingRegisters:
        case kReadInputRegisters:
            answer = read(pdu);
            break;
        case kWriteSingleRegister:
        case kWriteMultipleRegisters:
            answer = write(pdu);
            break;
        default:
            answer = exception(kIllegalFunction,
                               "function " + std::to_string(pdu[0]) + " is not served");
    }
    if (broadcast) {
        Answer quiet = ignored("a broadcast is not answered");
        if (answer.kind == Answer::Kind::Exception) quiet.reason += " (" + answer.reason + ")";
        quiet.writes = std::move(answer.writes);
        return quiet;
    }
    return answer;
}

Answer SimulatedGateway::read(std::span<const std::uint8_t> pdu) const {
    if (pdu.size() != 5) return exception(kIllegalDataValue, wrongLength(pdu.size()));
    const std::uint16_t first = word(pdu, 1);
    const std::uint16_t count = word(pdu, 3);
    if (count < 1 || count > kMaxReadRegisters) {
        return exception(kIllegalDataValue,
                         "a count of " + std::to_string(count) + " registers (1 to 125 are read)");
    }
    if (auto why = unmapped(readMap_, first, count, "read")) {
        return exception(kIllegalDataAddress, std::move(*why));
    }
    Answer answer;
    answer.kind = Answer::Kind::Reply;
    answer.address = first;
    for (std::uint32_t index = first; index < first + count; ++index) {
        const Row& row = readMap_.at(static_cast<std::uint16_t>(index));
        // A row of a node the table lacks names no byte (its choices were dropped).
        if (row.nodePosition >= nodes_.size()) {
            answer.values.push_back(0);
            continue;
        }
        const std::vector<std::uint8_t>& out = nodes_[row.nodePosition].out;
        answer.values.push_back(
            static_cast<std::uint16_t>(byteAt(out, row.high) << 8 | byteAt(out, row.low)));
    }
    return answer;
}

Answer SimulatedGateway::write(std::span<const std::uint8_t> pdu) {
    std::uint16_t first = 0;
    std::vector<std::uint16_t> values;
    if (pdu[0] == kWriteSingleRegister) {
        if (pdu.size() != 5) return exception(kIllegalDataValue, wrongLength(pdu.size()));
        first = word(pdu, 1);
        values.push_back(word(pdu, 3));
    } else {
        if (pdu.size() < 6) return exception(kIllegalDataValue, wrongLength(pdu.size()));
        first = word(pdu, 1);
        const std::uint16_t count = word(pdu, 3);
        if (count < 1 || count > kMaxWriteRegisters) {
            return exception(kIllegalDataValue, "a count of " + std::to_string(count) +
                                                    " registers (1 to 123 are written)");
        }
        if (pdu[5] != 2 * count || pdu.size() != 6u + 2 * count) {
            return exception(kIllegalDataValue, "a byte count of " + std::to_string(pdu[5]) +
                                                    " with " + std::to_string(pdu.size() - 6) +
                                                    " bytes for " + std::to_string(count) +
                                                    " registers");
        }
        for (std::size_t i = 0; i < count; ++i) values.push_back(word(pdu, 6 + 2 * i));
    }
    if (auto why = unmapped(writeMap_, first, static_cast<std::uint32_t>(values.size()), "write")) {
        return exception(kIllegalDataAddress, std::move(*why));
    }
    Answer answer;
    answer.kind = Answer::Kind::Reply;
    answer.address = first;
    for (std::size_t i = 0; i < values.size(); ++i) {
        answer.writes.push_back(writeRegister(static_cast<std::uint16_t>(first + i), values[i]));
    }
    return answer;
}

RegisterWrite SimulatedGateway::writeRegister(std::uint16_t index, std::uint16_t value) {
    RegisterWrite written{index, value, {}};
    for (const Row& row : writeMap_.at(index)) {
        if (row.nodePosition >= nodes_.size()) continue;
        std::vector<std::uint8_t>& in = nodes_[row.nodePosition].in;
        for (const auto& [at, byte] :
             {std::pair{row.high, static_cast<std::uint8_t>(value >> 8)},
              std::pair{row.low, static_cast<std::uint8_t>(value & 0xFF)}}) {
            if (at < 0) continue;
            written.changes.push_back(
                {row.nodePosition, static_cast<std::uint16_t>(at + 1), in[at], byte});
            in[at] = byte;
        }
    }
    return written;
}

std::uint8_t SimulatedGateway::byteAt(const std::vector<std::uint8_t>& bytes, int at) {
    return at < 0 ? 0 : bytes[static_cast<std::size_t>(at)];
}

void SimulatedGateway::setOutputs(const NodeOutputs& outputs) {
    for (std::size_t position = 0; position < nodes_.size(); ++position) {
        std::vector<std::uint8_t>& out = nodes_[position].out;
        std::fill(out.begin(), out.end(), 0);
        const auto given = outputs.find(position);
        if (given == outputs.end()) continue;
        std::copy_n(given->second.begin(), std::min(given->second.size(), out.size()), out.begin());
    }
}

const std::vector<std::uint8_t>& SimulatedGateway::inputs(std::size_t position) const {
    return nodes_.at(position).in;
}

const std::vector<std::uint8_t>& SimulatedGateway::outputs(std::size_t position) const {
    return nodes_.at(position).out;
}

std::string describeWrite(const RegisterWrite& write) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", write.value);
    std::string text = "register " + std::to_string(write.index) + " = " +
                       std::to_string(write.value) + " (" + hex + "):";
    if (write.changes.empty()) return text + " no node byte";
    std::size_t lastNode = write.changes.front().nodePosition + 1;  // differs from the first
    for (std::size_t i = 0; i < write.changes.size(); ++i) {
        const ByteChange& change = write.changes[i];
        text += i == 0 ? " " : ", ";
        if (change.nodePosition != lastNode) {
            text += "node " + std::to_string(change.nodePosition + 1) + " ";
            lastNode = change.nodePosition;
        }
        text += "input byte " + std::to_string(change.byteNumber) + " " +
                std::to_string(change.before) + " -> " + std::to_string(change.after);
    }
    return text;
}

}  // namespace velmora::modbus
