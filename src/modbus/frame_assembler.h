#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "modbus/adu.h"

namespace velmora::modbus {

// What the assembler made of the bytes: a whole ADU, or a framing error with its reason.
struct Assembled {
    std::optional<Adu> adu;  // set for a whole frame with a good check
    std::string error;       // set otherwise: "bad CRC", "bad LRC", ...
};

// Which RTU frames a party expects: a server requests, a client answers. Expecting only one kind
// keeps a frame from being cut short where the other kind's length happens to have a good CRC;
// frames of the other kind (another slave's answer on a shared line) then end at a silence.
enum class Expect { Any, Requests, Answers };

// Assembles the bytes received on one connection or line into whole ADUs, however the bytes
// are cut on their way. Requests and answers alike, so a server and a client use the same one.
// - RTU: a frame ends where the length its function code implies (as a request or as an
//   answer) is reached and the CRC agrees, or at a silence on the line (`silence()`). After a
//   bad frame everything up to the next silence is dropped.
// - ASCII: a frame runs from ":" to CR LF; a ":" starts it over. Bytes outside frames are dropped.
// - TCP: the MBAP header gives the length. A header with a protocol other than 0 or an
//   impossible length breaks the stream for good (`broken()`): the connection must be closed.
class FrameAssembler {
public:
    explicit FrameAssembler(Framing framing, Expect expect = Expect::Any)
        : framing_(framing), expect_(expect) {}

    // Takes `bytes` in; returns every frame (or framing error) they completed, in order.
    std::vector<Assembled> feed(std::span<const std::uint8_t> bytes);

    // The line was silent for longer than the gap between two frames: an RTU frame still open
    // ends here (a frame when its CRC agrees, an error otherwise). Nothing for ASCII and TCP.
    std::vector<Assembled> silence();

    // True while part of a frame is held.
    bool pending() const { return !buffer_.empty() || discarding_; }

    // TCP only: the stream cannot be followed any more.
    bool broken() const { return broken_; }

    Framing framing() const { return framing_; }

private:
    void feedRtu(std::uint8_t byte, std::vector<Assembled>& out);
    void feedAscii(std::uint8_t byte, std::vector<Assembled>& out);
    void feedTcp(std::uint8_t byte, std::vector<Assembled>& out);
    // RTU: takes a frame of `length` leading bytes when its CRC agrees.
    bool takeRtu(std::size_t length, std::vector<Assembled>& out);
    void finishAscii(std::vector<Assembled>& out);

    Framing framing_;
    Expect expect_;
    std::vector<std::uint8_t> buffer_;
    bool discarding_ = false;  // RTU: until the next silence; ASCII: until the next ":"
    bool broken_ = false;
};

// Lengths an RTU frame beginning with `head` may have (unit, function code, data, CRC), as a
// request or an answer as `expect` says, shortest first; empty while `head` is too short to tell
// them all, and for a function code that does not tell (such a frame ends at a silence).
std::vector<std::size_t> rtuFrameLengths(std::span<const std::uint8_t> head,
                                         Expect expect = Expect::Any);

}  // namespace velmora::modbus
