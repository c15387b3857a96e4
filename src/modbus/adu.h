#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace velmora::modbus {

// How protocol data units travel: binary with a CRC on a serial line (RTU), as hexadecimal text
// with an LRC on a serial line (ASCII), or behind the MBAP header on a TCP stream.
enum class Framing { Rtu, Ascii, Tcp };

// "RTU", "ASCII" or "TCP".
std::string_view framingName(Framing framing);

// One application data unit taken apart: the address and the protocol data unit it carries.
struct Adu {
    std::uint16_t transaction = 0;  // TCP only: echoed in the answer
    std::uint8_t unit = 0;
    std::vector<std::uint8_t> pdu;  // function code first; no check bytes
    bool operator==(const Adu&) const = default;
};

// The RTU check: CRC-16 with polynomial 0xA001 from 0xFFFF; sent low byte first.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// The ASCII check: the two's complement of the byte sum of `bytes`.
std::uint8_t lrc(std::span<const std::uint8_t> bytes);

// `adu` as the bytes on the line: RTU unit, PDU, CRC; ASCII ":" then unit, PDU and LRC as
// upper-case hexadecimal pairs, then CR LF; TCP the MBAP header (transaction, protocol 0,
// length, unit) then the PDU. The PDU must hold at most kMaxPduSize bytes.
std::vector<std::uint8_t> encodeAdu(Framing framing, const Adu& adu);

}  // namespace velmora::modbus
