// Bytes from the network or a serial line: the first byte picks the framing (RTU, ASCII, TCP)
// and how the rest is cut into reads; every read goes through a session of the simulated
// gateway, as a connection's would. Every answer must read back as one whole answer frame.
#include <cstddef>
#include <cstdint>
#include <span>

#include "documents/register_map.h"
#include "fuzz_support.h"
#include "modbus/frame_assembler.h"
#include "modbus/gateway_session.h"

namespace {

using namespace velmora;

// Three nodes; a gap at read register 4, repeated indexes in both maps, byte choices past a
// node's bytes, and a row of a node the table lacks.
DecodedImage fuzzImage() {
    DecodedImage image;
    image.nodes = {{1, 2, 3, 0, 0}, {2, 6, 1, 2, 3}, {3, 0, 4, 8, 4}};
    for (std::uint16_t index : {0, 1, 2, 3, 5, 3})
        image.readMap.push_back(
            {index, PackPosComp(index % 4, (index + 1) % 5), static_cast<std::uint8_t>(index % 3)});
    image.readMap.push_back({9, PackPosComp(1, 1), 7});
    for (std::uint16_t index : {100, 101, 101, 102})
        image.writeMap.push_back(
            {index, PackPosComp(index % 7, 2), static_cast<std::uint8_t>(index % 2)});
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const modbus::Framing framing = static_cast<modbus::Framing>(data[0] % 3);
    // Bits 2 to 7: the size of each read, 0 for the whole input at once.
    const std::size_t chunk = data[0] >> 2;
    std::span<const std::uint8_t> input(data + 1, size - 1);

    modbus::SimulatedGateway gateway(fuzzImage(), 17, framing == modbus::Framing::Tcp);
    gateway.setOutputs({{0, {1, 2}}, {1, {3, 4, 5, 6, 7, 8}}});
    modbus::GatewaySession session(gateway, framing);
    modbus::FrameAssembler client(framing, modbus::Expect::Answers);
    const auto check = [&](const modbus::SessionOutput& out) {
        std::size_t answered = 0;
        for (const modbus::Exchange& e : out.exchanges) {
            (void)modbus::describeRequest(e.request);
            (void)modbus::describeAnswer(e.answer);
            if (e.answer.kind != modbus::Answer::Kind::Ignore) ++answered;
        }
        const std::vector<modbus::Assembled> answers = client.feed(out.reply);
        fuzz::require(answers.size() == answered, "one answer frame per answered request");
        for (const modbus::Assembled& a : answers) {
            fuzz::require(a.adu.has_value(), "an answer frame that reads back");
        }
    };
    while (!input.empty() && !session.broken()) {
        const std::size_t take = chunk == 0 ? input.size() : std::min(chunk, input.size());
        check(session.receive(input.first(take)));
        input = input.subspan(take);
        // A read boundary on a serial line may be a silence too.
        if (framing == modbus::Framing::Rtu && (take & 1)) check(session.silence());
    }
    check(session.silence());
    return 0;
}
