#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "modbus/adu.h"
#include "modbus/frame_assembler.h"
#include "modbus/simulated_gateway.h"

namespace velmora::modbus {

// One request taken from the line and how the gateway answered it.
struct Exchange {
    Adu request;
    Answer answer;
};

// What the bytes received so far brought.
struct SessionOutput {
    std::vector<std::uint8_t> reply;  // the answers to send, in the order of the requests
    std::vector<Exchange> exchanges;  // every whole request, answered or not
    std::vector<std::string> errors;  // framing errors: "bad CRC", ...
    bool wrote() const;               // a request set registers
};

// The gateway on one connection or serial line: assembles the bytes received into requests and
// answers each whole one at once, in the connection's framing. Holds no socket or terminal.
// On RTU it expects requests: another slave's answer on the line ends at the silence after it
// and is passed over as a frame for another unit.
class GatewaySession {
public:
    GatewaySession(SimulatedGateway& gateway, Framing framing)
        : gateway_(gateway), assembler_(framing, Expect::Requests) {}

    // Takes received bytes in; returns the answers and what happened.
    SessionOutput receive(std::span<const std::uint8_t> bytes);

    // The line fell silent (RTU): a frame still open ends here.
    SessionOutput silence();

    // True while part of a request is held.
    bool pending() const { return assembler_.pending(); }
    // TCP: the stream cannot be followed any more; the connection should be closed.
    bool broken() const { return assembler_.broken(); }
    Framing framing() const { return assembler_.framing(); }

private:
    SessionOutput serve(std::vector<Assembled> frames);

    SimulatedGateway& gateway_;
    FrameAssembler assembler_;
};

// The protocol data unit that answers `request` with `answer` (Reply or Exception): a read gives
// its byte count and registers, a write echoes the address with the value or count, an exception
// the function code with the exception bit and the code.
std::vector<std::uint8_t> answerPdu(std::span<const std::uint8_t> request, const Answer& answer);

// A request as a log line shows it: "unit 17 function 3 address 0 count 4"; address and count
// only where the function carries them.
std::string describeRequest(const Adu& request);

// How a request was answered, for the log: "answered", "exception 2 (illegal data address):
// register 4 is not in the read map", "ignored: for unit 3; this gateway is unit 17".
std::string describeAnswer(const Answer& answer);

}  // namespace velmora::modbus
