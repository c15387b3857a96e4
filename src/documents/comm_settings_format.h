#pragma once

#include <array>
#include <cstddef>

namespace velmora {

// The values of pargen.xml, in the order they are written.
enum CommField : std::size_t {
    kCommDnetDeviceId,
    kCommDnetBaud,
    kCommSerialBaud,
    kCommSerialParity,
    kCommSerialDeviceId,
    kCommSerialLine,
    kCommSerialProtocol,
    kCommHardware,
    kCommFieldCount
};

}  // namespace velmora

namespace velmora::comm_settings_format {

// Element names of pargen.xml: the root and its eight children, in the order they are written.
inline constexpr const char* kRoot = "Par_Gen";
inline constexpr const char* kDnetDeviceId = "DNET_DEV_ID";
inline constexpr const char* kDnetBaud = "DNET_BAUD";
inline constexpr const char* kSerialBaud = "Ser_Baud";
inline constexpr const char* kSerialParity = "Ser_Par";
inline constexpr const char* kSerialDeviceId = "Ser_ID";
inline constexpr const char* kSerialLine = "Ser_Type";
inline constexpr const char* kSerialProtocol = "Ser_Prot";
inline constexpr const char* kHardware = "HW_Type";

// The element of each value, by CommField.
inline constexpr std::array<const char*, kCommFieldCount> kElements = {
    kDnetDeviceId,   kDnetBaud,   kSerialBaud,     kSerialParity,
    kSerialDeviceId, kSerialLine, kSerialProtocol, kHardware};

}  // namespace velmora::comm_settings_format
