#include "modbus/adu.h"

#include <cassert>

#include "modbus/protocol.h"

namespace velmora::modbus {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHex(std::vector<std::uint8_t>& out, std::uint8_t byte) {
    out.push_back(static_cast<std::uint8_t>(kHexDigits[byte >> 4]));
    out.push_back(static_cast<std::uint8_t>(kHexDigits[byte & 0x0F]));
}

}  // namespace

std::string_view framingName(Framing framing) {
    switch (framing) {
        case Framing::Rtu:
            return "RTU";
        case Framing::Ascii:
            return "ASCII";
        case Framing::Tcp:
            return "TCP";
    }
    return "?";
}

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

std::uint8_t lrc(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    return static_cast<std::uint8_t>(-sum);
}

std::vector<std::uint8_t> encodeAdu(Framing framing, const Adu& adu) {
    assert(adu.pdu.size() <= kMaxPduSize);
    std::vector<std::uint8_t> body;
    body.reserve(adu.pdu.size() + 1);
    body.push_back(adu.unit);
    body.insert(body.end(), adu.pdu.begin(), adu.pdu.end());
    std::vector<std::uint8_t> out;
    switch (framing) {
        case Framing::Rtu: {
            out = std::move(body);
            const std::uint16_t crc = crc16(out);
            out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
            out.push_back(static_cast<std::uint8_t>(crc >> 8));
            break;
        }
        case Framing::Ascii:
            out.reserve(2 * body.size() + 5);
            out.push_back(':');
            for (const std::uint8_t byte : body) appendHex(out, byte);
            appendHex(out, lrc(body));
            out.push_back('\r');
            out.push_back('\n');
            break;
        case Framing::Tcp: {
            const auto length = static_cast<std::uint16_t>(body.size());
            out = {static_cast<std::uint8_t>(adu.transaction >> 8),
                   static_cast<std::uint8_t>(adu.transaction & 0xFF),
                   0,
                   0,
                   static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length & 0xFF)};
            out.insert(out.end(), body.begin(), body.end());
            break;
        }
    }
    return out;
}

}  // namespace velmora::modbus
