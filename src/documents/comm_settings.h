#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class XmlDocument;

// The items of the three lists, by the position that pargen.xml stores.
inline constexpr std::array<std::string_view, 3> kDnetBaudItems{"125K", "250K", "500K"};
inline constexpr std::array<std::string_view, 8> kSerialBaudItems{
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
inline constexpr std::array<std::string_view, 3> kSerialParityItems{"NONE", "EVEN", "ODD"};
// The names of the line types and hardware variants, by their stored value.
inline constexpr std::array<std::string_view, 2> kSerialLineNames{"RS232", "RS485"};
inline constexpr std::array<std::string_view, 2> kHardwareNames{"QH48203-A1", "QH48203-B2"};
// The names of the serial protocols, by their stored value.
inline constexpr std::array<std::string_view, 5> kSerialProtocolNames{"Modbus RTU", "Modbus ASCII",
                                                                      "JBUS", "Binary", "ASCII"};

// The position stored for a list without a chosen item.
inline constexpr std::int32_t kNoListItem = -1;

// Serial line type, by its stored value.
enum class SerialLine : std::int32_t { Rs232 = 0, Rs485 = 1 };

// Serial protocol, by its stored value.
enum class SerialProtocol : std::int32_t {
    ModbusRtu = 0,
    ModbusAscii = 1,
    Jbus = 2,
    Binary = 3,
    Ascii = 4,
};

// Hardware variant, by its stored value.
enum class HardwareType : std::int32_t { A1 = 0, B2 = 1 };

// The communication settings of one project (pargen.xml); the member defaults are the
// settings of a project without the document.
struct CommSettings {
    // DeviceNet device ID exactly as typed.
    std::string dnetDeviceId = "10";
    // Position in kDnetBaudItems, or kNoListItem.
    std::int32_t dnetBaud = 2;
    // Position in kSerialBaudItems, or kNoListItem.
    std::int32_t serialBaud = 7;
    // Position in kSerialParityItems, or kNoListItem.
    std::int32_t serialParity = 0;
    // Serial device ID exactly as typed.
    std::string serialDeviceId = "1";
    SerialLine serialLine = SerialLine::Rs485;
    SerialProtocol protocol = SerialProtocol::ModbusRtu;
    HardwareType hardware = HardwareType::A1;

    bool operator==(const CommSettings&) const = default;
};

// The message of the first failing check of what the user entered (DeviceNet ID 0..63, then
// serial ID 1..247, both as integer texts), or none when both pass.
std::optional<std::string> commSettingsProblem(const CommSettings& settings);

// The settings that the document holds below its first top-level node; each value that is
// missing or cannot be converted keeps its default, and a list position outside its list
// becomes kNoListItem.
CommSettings commSettingsFromDocument(const XmlDocument& document);

// The settings of `file`: the defaults when there is no such plain file. Throws velmora::Error
// when the file cannot be read or parsed.
CommSettings readCommSettings(const std::filesystem::path& file);

// The document of `settings`: the root and its eight elements in their fixed order.
XmlDocument commSettingsDocument(const CommSettings& settings);

// Replaces `file` with the document of `settings`; throws velmora::Error when the save fails,
// leaving the previous file whole.
void writeCommSettings(const CommSettings& settings, const std::filesystem::path& file);

}  // namespace velmora
