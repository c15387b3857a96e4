#include "modbus/gateway_session.h"

#include <algorithm>
#include <utility>

#include "modbus/protocol.h"

namespace velmora::modbus {

namespace {

std::uint16_t word(std::span<const std::uint8_t> pdu, std::size_t at) {
    return static_cast<std::uint16_t>(pdu[at] << 8 | pdu[at + 1]);
}

}  // namespace

bool SessionOutput::wrote() const {
    return std::any_of(exchanges.begin(), exchanges.end(),
                       [](const Exchange& e) { return !e.answer.writes.empty(); });
}

SessionOutput GatewaySession::receive(std::span<const std::uint8_t> bytes) {
    return serve(assembler_.feed(bytes));
}

SessionOutput GatewaySession::silence() { return serve(assembler_.silence()); }

SessionOutput GatewaySession::serve(std::vector<Assembled> frames) {
    SessionOutput out;
    for (Assembled& frame : frames) {
        if (!frame.adu) {
            out.errors.push_back(std::move(frame.error));
            continue;
        }
        Exchange exchange{std::move(*frame.adu), {}};
        exchange.answer = gateway_.handle(exchange.request.unit, exchange.request.pdu);
        if (exchange.answer.kind != Answer::Kind::Ignore) {
            Adu reply{exchange.request.transaction, exchange.request.unit,
                      answerPdu(exchange.request.pdu, exchange.answer)};
            const std::vector<std::uint8_t> bytes = encodeAdu(framing(), reply);
            out.reply.insert(out.reply.end(), bytes.begin(), bytes.end());
        }
        out.exchanges.push_back(std::move(exchange));
    }
    return out;
}

std::vector<std::uint8_t> answerPdu(std::span<const std::uint8_t> request, const Answer& answer) {
    const std::uint8_t function = request.empty() ? 0 : request[0];
    if (answer.kind == Answer::Kind::Exception) {
        return {static_cast<std::uint8_t>(function | kExceptionBit), answer.exception};
    }
    if (function == kReadHoldingRegisters || function == kReadInputRegisters) {
        std::vector<std::uint8_t> pdu{function,
                                      static_cast<std::uint8_t>(2 * answer.values.size())};
        for (const std::uint16_t value : answer.values) {
            pdu.push_back(static_cast<std::uint8_t>(value >> 8));
            pdu.push_back(static_cast<std::uint8_t>(value & 0xFF));
        }
        return pdu;
    }
    // Write single register: the request itself; write multiple: its address and count.
    return {request.begin(), request.begin() + static_cast<std::ptrdiff_t>(
                                                   std::min<std::size_t>(request.size(), 5))};
}

std::string describeRequest(const Adu& request) {
    std::string text = "unit " + std::to_string(request.unit);
    const std::vector<std::uint8_t>& pdu = request.pdu;
    if (pdu.empty()) return text + " without a function code";
    const std::uint8_t function = pdu[0];
    text += " function " + std::to_string(function);
    if (pdu.size() < 5) return text;
    switch (function) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 15:
        case 16:
            return text + " address " + std::to_string(word(pdu, 1)) + " count " +
                   std::to_string(word(pdu, 3));
        case 5:
        case 6:
            return text + " address " + std::to_string(word(pdu, 1)) + " count 1";
        default:
            return text;
    }
}

std::string describeAnswer(const Answer& answer) {
    switch (answer.kind) {
        case Answer::Kind::Reply:
            return "answered";
        case Answer::Kind::Exception:
            return exceptionText(answer.exception) + ": " + answer.reason;
        case Answer::Kind::Ignore:
            return "ignored: " + answer.reason;
    }
    return "?";
}

}  // namespace velmora::modbus
