#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "modbus/adu.h"
#include "modbus/frame_assembler.h"

namespace velmora::modbus {

// One read request a client sends: function 3 or 4 for `count` registers from `first`.
struct ReadRequest {
    std::uint8_t unit = 1;
    std::uint8_t function = 3;
    std::uint16_t first = 0;
    std::uint16_t count = 1;
    std::uint16_t transaction = 0;  // TCP only
};

// The request as the bytes on the line in `framing`.
std::vector<std::uint8_t> encodeReadRequest(Framing framing, const ReadRequest& request);

// What one frame received while waiting for the answer to a read request means.
struct ReadAnswer {
    enum class Kind {
        Values,     // the registers asked for, in `values`
        Exception,  // the server refused with `exception`
        Damaged,    // a frame that cannot be the answer: bad CRC or LRC, wrong function, byte
                    // count, length or unit; `error` says which
        Foreign,    // an answer to another request (an earlier transaction): keep waiting
    };
    Kind kind = Kind::Damaged;
    std::vector<std::uint16_t> values;
    std::uint8_t exception = 0;
    std::string error;
    bool checkError = false;  // Damaged by its CRC or LRC
};

// Decodes `frame`, as the assembler made it of the bytes received, as the answer to `request`.
// Never throws, whatever the bytes.
ReadAnswer decodeReadAnswer(const ReadRequest& request, Framing framing, const Assembled& frame);

}  // namespace velmora::modbus
