#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "documents/comm_lists.h"
#include "documents/comm_settings_format.h"
#include "documents/document_reading.h"

namespace velmora {

class XmlDocument;

// The position stored for a list without a chosen item.
inline constexpr std::int32_t kNoListItem = -1;

// The communication settings of one project (pargen.xml); the member defaults are the
// settings of a project without the document.
struct CommSettings {
    // DeviceNet device ID exactly as typed.
    std::string dnetDeviceId = "10";
    // A value of kDnetBaudList, or kNoListItem.
    std::int32_t dnetBaud = 2;
    // A value of kSerialBaudList, or kNoListItem.
    std::int32_t serialBaud = 7;
    // A value of kSerialParityList, or kNoListItem.
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

// The reading of pargen.xml: the document's outcome and every value below its first top-level
// node, each taken as an integer text beside its raw text.
struct CommSettingsReading {
    ReadResult document;
    std::array<ReadValue, kCommFieldCount> values;

    const ReadValue& operator[](CommField field) const { return values[field]; }
};

// The reading of a loaded document; every value is Missing when it has no top-level node.
CommSettingsReading commSettingsReading(const XmlDocument& document);

// The reading of `file`; its document is Missing when there is no such plain file and
// Unreadable when it cannot be read or parsed. Never throws a document failure.
CommSettingsReading readCommSettingsFile(const std::filesystem::path& file);

// The settings as the dialog shows them: each value that is missing or cannot be converted keeps
// its default, a list position outside its list becomes kNoListItem, and the hardware variant is
// compared as text ("01" is not the B2 variant).
CommSettings commSettingsFromReading(const CommSettingsReading& reading);

// The settings that the document holds below its first top-level node, as
// commSettingsFromReading takes them.
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
