// A device's answers to the monitor's read requests, untrusted bytes from the network or a
// serial line: the first byte picks the framing (RTU, ASCII, TCP) and how the rest is cut into
// reads, the next five the request (function, first register, count, unit); the rest go through
// an assembler that expects answers and then the answer decoding, as the monitor's poll does.
// Values must be exactly the registers asked for; nothing else may come out as values.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "modbus/frame_assembler.h"
#include "modbus/poll_plan.h"
#include "modbus/read_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    if (size < 6) return 0;
    const modbus::Framing framing = static_cast<modbus::Framing>(data[0] % 3);
    const std::size_t chunk = data[0] >> 2;  // the size of each read; 0 for all at once
    modbus::ReadRequest request;
    request.function = static_cast<std::uint8_t>(3 + (data[1] & 1));
    request.first = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    request.count = static_cast<std::uint16_t>(data[4] % modbus::kMaxReadCount + 1);
    request.unit = data[5];
    request.transaction = 1;
    std::span<const std::uint8_t> input(data + 6, size - 6);

    modbus::FrameAssembler assembler(framing, modbus::Expect::Answers);
    const auto decode = [&](const std::vector<modbus::Assembled>& frames) {
        for (const modbus::Assembled& frame : frames) {
            const modbus::ReadAnswer answer = modbus::decodeReadAnswer(request, framing, frame);
            if (answer.kind == modbus::ReadAnswer::Kind::Values) {
                fuzz::require(frame.adu.has_value(), "values only from a whole frame");
                fuzz::require(answer.values.size() == request.count,
                              "exactly the registers asked for");
                // The values reach the node bytes of a plan covering the run.
                std::vector<DecodedRegister> map;
                for (std::uint16_t k = 0; k < request.count; ++k) {
                    map.push_back({static_cast<std::uint16_t>(request.first + k),
                                   static_cast<std::int32_t>(answer.values[k]),
                                   static_cast<std::uint8_t>(k % 3)});
                }
                const modbus::PollPlan plan = modbus::planPoll(map);
                const modbus::RegisterValues values(
                    answer.values.begin(),
                    answer.values.begin() + static_cast<std::ptrdiff_t>(plan.registers.size()));
                const std::size_t counts[] = {2, 5, 0};
                (void)modbus::nodeBytes(plan, counts, values);
            } else if (answer.kind != modbus::ReadAnswer::Kind::Exception) {
                fuzz::require(!answer.error.empty(), "a reason for every answer not taken");
            }
        }
    };
    while (!input.empty() && !assembler.broken()) {
        const std::size_t take = chunk == 0 ? input.size() : std::min(chunk, input.size());
        decode(assembler.feed(input.first(take)));
        input = input.subspan(take);
    }
    decode(assembler.silence());
    return 0;
}
