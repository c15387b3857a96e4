#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "image/image_decoder.h"
#include "modbus/protocol.h"

namespace velmora::modbus {

// Simulated output bytes by node position (counted from 0); unlisted bytes are 0.
using NodeOutputs = std::map<std::size_t, std::vector<std::uint8_t>>;

// One node byte that a write set, with its value before and after.
struct ByteChange {
    std::size_t nodePosition = 0;  // counted from 0 in the node table
    std::uint16_t byteNumber = 0;  // counted from 1 among the node's input bytes
    std::uint8_t before = 0;
    std::uint8_t after = 0;
    bool operator==(const ByteChange&) const = default;
};

// One register a write request set, and what it changed.
struct RegisterWrite {
    std::uint16_t index = 0;
    std::uint16_t value = 0;
    std::vector<ByteChange> changes;  // empty when the register names no byte
};

// How to answer one request.
struct Answer {
    enum class Kind {
        Ignore,     // not for this gateway, or a broadcast: no answer at all
        Reply,      // a normal answer; `values` holds the registers read
        Exception,  // an exception answer with `exception`
    };
    Kind kind = Kind::Ignore;
    std::uint8_t exception = 0;
    std::string reason;  // why: the exception's cause, or whom an ignored request was for
    std::uint16_t address = 0;
    std::vector<std::uint16_t> values;  // for a read: the registers from `address` on
    std::vector<RegisterWrite> writes;  // for a write (broadcast too): what it set
};

// The configured gateway's Modbus side: the register maps of an image over simulated node data.
// Reads take the nodes' output bytes, writes set their input bytes. Socket free: it answers
// protocol data units and leaves the framing to the caller.
class SimulatedGateway {
public:
    // Serves `image` as Modbus unit `unitId`; on TCP, unit 255 is answered too.
    SimulatedGateway(const DecodedImage& image, std::uint8_t unitId, bool tcp);

    // Answers `pdu` (function code first, no unit, no check bytes) sent to `unit`.
    Answer handle(std::uint8_t unit, std::span<const std::uint8_t> pdu);

    // Replaces the nodes' output bytes; a node missing from `outputs` or a byte past its list is 0.
    // Keys are node positions counted from 0; lists are at most the node's output count long.
    void setOutputs(const NodeOutputs& outputs);

    // The input bytes of the node at `position` (counted from 0), as the writes left them.
    const std::vector<std::uint8_t>& inputs(std::size_t position) const;
    // The output bytes of the node at `position` (counted from 0), as the reads answer them.
    const std::vector<std::uint8_t>& outputs(std::size_t position) const;
    std::size_t nodeCount() const { return nodes_.size(); }

    // Register rows that name bytes the node does not have (they read as 0 and are not written),
    // one sentence each.
    const std::vector<std::string>& warnings() const { return warnings_; }
    // How many indexes one of the maps holds more than once.
    std::size_t repeatedIndexes() const { return repeatedIndexes_; }

    std::uint8_t unitId() const { return unitId_; }
    std::size_t readRegisterCount() const { return readMap_.size(); }
    std::size_t writeRegisterCount() const { return writeMap_.size(); }

private:
    // One register row: where its high and low byte live; -1 for no byte.
    struct Row {
        std::size_t nodePosition = 0;
        int high = -1;
        int low = -1;
    };
    struct Node {
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
    };

    bool accepts(std::uint8_t unit) const;
    Answer read(std::span<const std::uint8_t> pdu) const;
    Answer write(std::span<const std::uint8_t> pdu);
    RegisterWrite writeRegister(std::uint16_t index, std::uint16_t value);
    static std::uint8_t byteAt(const std::vector<std::uint8_t>& bytes, int at);

    std::uint8_t unitId_;
    bool tcp_;
    std::vector<Node> nodes_;
    std::map<std::uint16_t, Row> readMap_;                // the first row of an index
    std::map<std::uint16_t, std::vector<Row>> writeMap_;  // every row of an index
    std::vector<std::string> warnings_;
    std::size_t repeatedIndexes_ = 0;
};

// One written register as a log line: "register 100 = 4660 (0x1234): node 2 input byte 1
// 0 -> 18, input byte 2 0 -> 52", node positions counted from 1.
std::string describeWrite(const RegisterWrite& write);

}  // namespace velmora::modbus
