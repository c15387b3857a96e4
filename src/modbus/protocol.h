#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmora::modbus {

// Modbus function codes the gateway serves.
inline constexpr std::uint8_t kReadHoldingRegisters = 3;
inline constexpr std::uint8_t kReadInputRegisters = 4;
inline constexpr std::uint8_t kWriteSingleRegister = 6;
inline constexpr std::uint8_t kWriteMultipleRegisters = 16;

// Modbus exception codes.
inline constexpr std::uint8_t kIllegalFunction = 1;
inline constexpr std::uint8_t kIllegalDataAddress = 2;
inline constexpr std::uint8_t kIllegalDataValue = 3;

// The bit a server sets in the function code of an exception answer.
inline constexpr std::uint8_t kExceptionBit = 0x80;

// The unit addressing every slave at once: writes are applied and never answered.
inline constexpr std::uint8_t kBroadcastUnit = 0;
// The unit a Modbus TCP client uses for "whoever is at this address".
inline constexpr std::uint8_t kTcpAnyUnit = 255;

// The longest protocol data unit (function code and data) any framing carries.
inline constexpr std::size_t kMaxPduSize = 253;

// The exception's name as the protocol gives it: "illegal data address"; "exception N" for a
// code without one here.
std::string exceptionName(std::uint8_t code);

}  // namespace velmora::modbus
