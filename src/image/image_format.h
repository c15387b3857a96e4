#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The layout of the configuration image and the meaning of its coded bytes.
namespace velmora::image_format {

// The image never grows past this many bytes.
inline constexpr std::size_t kCapacity = 100'004;

inline constexpr std::uint32_t kHeaderSize = 16;
inline constexpr std::uint32_t kNodeRecordSize = 9;
inline constexpr std::uint32_t kMapRecordSize = 7;
inline constexpr std::uint32_t kParameterBlockSize = 13;

// Header words: the byte offsets of the four sections.
inline constexpr std::uint32_t kNodeTableOffsetAt = 0;
inline constexpr std::uint32_t kReadMapOffsetAt = 4;
inline constexpr std::uint32_t kWriteMapOffsetAt = 8;
inline constexpr std::uint32_t kParametersOffsetAt = 12;

// The documents of a project folder.
inline constexpr std::string_view kDNetNetFile = "DNET_Net.xml";
inline constexpr std::string_view kDefRegFile = "DefReg.xml";
inline constexpr std::string_view kParGenFile = "pargen.xml";
inline constexpr std::string_view kBinFolder = "bin";
inline constexpr std::string_view kImageFile = "bank.bin";

// Attributes of a node row of DNET_Net.xml.
inline constexpr const char* kNodeId = "ID";
inline constexpr const char* kNodeBytesIn = "NB_IN";
inline constexpr const char* kNodeBytesOut = "NB_OUT";

// Lists and row attributes of DefReg.xml.
inline constexpr const char* kReadList = "Modbus_Read";
inline constexpr const char* kWriteList = "Modbus_Write";
inline constexpr const char* kRowIndex = "Index";
inline constexpr const char* kRowPosComp = "PosComp";
inline constexpr const char* kRowNode = "NrDNNode";

// Elements of pargen.xml, in the order of the parameter block's first six bytes.
inline constexpr std::array<const char*, 6> kParameterBytes = {
    "DNET_DEV_ID", "DNET_BAUD", "Ser_Baud", "Ser_Par", "Ser_ID", "Ser_Type"};
inline constexpr const char* kProtocol = "Ser_Prot";
inline constexpr const char* kHardware = "HW_Type";

// Framing class by protocol (low 8 bits of "Ser_Prot"): 0 binary, 1 ASCII.
// Modbus RTU, Modbus ASCII, JBUS, Binary, ASCII.
inline constexpr std::array<std::uint8_t, 5> kFramingClassByProtocol = {0, 1, 0, 0, 1};
// A protocol outside the table is shown as "ASCII" by the settings dialog, so it frames as ASCII.
inline constexpr std::uint8_t kFramingClassOtherProtocol = 1;

// The meaning of each coded parameter byte, by its value.
inline constexpr std::array<std::string_view, 3> kDeviceNetBauds = {"125K", "250K", "500K"};
inline constexpr std::array<std::string_view, 8> kSerialBauds = {
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
inline constexpr std::array<std::string_view, 3> kParities = {"NONE", "EVEN", "ODD"};
inline constexpr std::array<std::string_view, 2> kLineTypes = {"RS232", "RS485"};
inline constexpr std::array<std::string_view, 2> kFramings = {"binary", "ASCII"};
inline constexpr std::array<std::string_view, 2> kHardwareTypes = {"QH48203-A1", "QH48203-B2"};

// The name of `value` in `names`, or none when the value is outside the table.
inline std::optional<std::string_view> meaningOf(std::span<const std::string_view> names,
                                                 std::uint32_t value) {
    if (value >= names.size()) return std::nullopt;
    return names[value];
}

}  // namespace velmora::image_format
