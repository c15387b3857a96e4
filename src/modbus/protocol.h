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
inline constexpr std::uint8_t kServerDeviceFailure = 4;
inline constexpr std::uint8_t kAcknowledge = 5;
inline constexpr std::uint8_t kServerDeviceBusy = 6;
inline constexpr std::uint8_t kMemoryParityError = 8;
inline constexpr std::uint8_t kGatewayPathUnavailable = 10;
inline constexpr std::uint8_t kGatewayTargetFailed = 11;

// The bit a server sets in the function code of an exception answer.
inline constexpr std::uint8_t kExceptionBit = 0x80;

// The unit addressing every slave at once: writes are applied and never answered.
inline constexpr std::uint8_t kBroadcastUnit = 0;
// The unit a Modbus TCP client uses for "whoever is at this address".
inline constexpr std::uint8_t kTcpAnyUnit = 255;

// The longest protocol data unit (function code and data) any framing carries.
inline constexpr std::size_t kMaxPduSize = 253;

// The exception's name as the protocol gives it: "illegal data address"; "exception N" for a
// code the protocol does not name.
std::string exceptionName(std::uint8_t code);

// The exception as every message tells it: "exception 6 (server device busy)", or "exception 7"
// for a code the protocol does not name.
std::string exceptionText(std::uint8_t code);

// True for the exceptions that say "not now" rather than "never": acknowledge, server device
// busy and the two gateway path failures. The same request may be answered when asked again.
bool isTransientException(std::uint8_t code);

}  // namespace velmora::modbus
