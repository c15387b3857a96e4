#include "modbus/read_client.h"

#include "modbus/protocol.h"

namespace velmora::modbus {

namespace {

ReadAnswer damaged(std::string error, bool checkError = false) {
    ReadAnswer answer;
    answer.kind = ReadAnswer::Kind::Damaged;
    answer.error = std::move(error);
    answer.checkError = checkError;
    return answer;
}

}  // namespace

std::vector<std::uint8_t> encodeReadRequest(Framing framing, const ReadRequest& request) {
    Adu adu;
    adu.transaction = request.transaction;
    adu.unit = request.unit;
    adu.pdu = {request.function, static_cast<std::uint8_t>(request.first >> 8),
               static_cast<std::uint8_t>(request.first & 0xFF),
               static_cast<std::uint8_t>(request.count >> 8),
               static_cast<std::uint8_t>(request.count & 0xFF)};
    return encodeAdu(framing, adu);
}

ReadAnswer decodeReadAnswer(const ReadRequest& request, Framing framing, const Assembled& frame) {
    if (!frame.adu) {
        const bool check = frame.error == "bad CRC" || frame.error == "bad LRC";
        return damaged(frame.error, check);
    }
    const Adu& adu = *frame.adu;
    if (framing == Framing::Tcp && adu.transaction != request.transaction) {
        ReadAnswer answer;
        answer.kind = ReadAnswer::Kind::Foreign;
        answer.error = "an answer to transaction " + std::to_string(adu.transaction);
        return answer;
    }
    // On TCP a gateway behind a converter may answer for unit 255 with its own ID, or the other
    // way round; on a serial line another unit's answer is not ours.
    if (adu.unit != request.unit && !(framing == Framing::Tcp && request.unit == kTcpAnyUnit)) {
        return damaged("an answer from unit " + std::to_string(adu.unit) + ", not unit " +
                       std::to_string(request.unit));
    }
    const std::vector<std::uint8_t>& pdu = adu.pdu;
    if (pdu.empty()) return damaged("an answer without a function code");
    const std::uint8_t function = pdu[0];
    if (function == (request.function | kExceptionBit)) {
        if (pdu.size() != 2) {
            return damaged("an exception answer of " + std::to_string(pdu.size()) + " bytes");
        }
        ReadAnswer answer;
        answer.kind = ReadAnswer::Kind::Exception;
        answer.exception = pdu[1];
        return answer;
    }
    if (function != request.function) {
        return damaged("an answer with function " + std::to_string(function) + " to function " +
                       std::to_string(request.function));
    }
    const std::size_t expected = 2u * request.count;
    if (pdu.size() < 2 || pdu[1] != expected || pdu.size() != 2 + expected) {
        return damaged("an answer with " +
                       (pdu.size() < 2 ? std::string("no byte count")
                                       : std::to_string(pdu.size() - 2) +
                                             " data bytes and byte "
                                             "count " +
                                             std::to_string(pdu[1])) +
                       " for " + std::to_string(request.count) + " registers");
    }
    ReadAnswer answer;
    answer.kind = ReadAnswer::Kind::Values;
    answer.values.reserve(request.count);
    for (std::size_t i = 0; i < request.count; ++i) {
        answer.values.push_back(static_cast<std::uint16_t>(pdu[2 + 2 * i] << 8 | pdu[3 + 2 * i]));
    }
    return answer;
}

}  // namespace velmora::modbus
