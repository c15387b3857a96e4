#include "documents/comm_settings.h"

#include "core/error.h"
#include "documents/comm_settings_format.h"
#include "documents/integer_text.h"
#include "documents/xml_document.h"

namespace velmora {

namespace format = comm_settings_format;

namespace {

constexpr std::int32_t kDnetIdMin = 0;
constexpr std::int32_t kDnetIdMax = 63;
constexpr std::int32_t kSerialIdMin = 1;
constexpr std::int32_t kSerialIdMax = 247;

bool inRange(std::string_view integerText, std::int32_t min, std::int32_t max) {
    const std::int32_t value = integerTextOr(integerText, -1);
    return value >= min && value <= max;
}

// The value of `list`'s element, when it is an integer; kNoListItem when the list offers no
// such value.
template <typename List>
void takeListValue(const List& list, const ReadValue& read, std::int32_t& value) {
    if (read.integer) value = list.contains(*read.integer) ? *read.integer : kNoListItem;
}

}  // namespace

std::optional<std::string> commSettingsProblem(const CommSettings& settings) {
    if (!inRange(settings.dnetDeviceId, kDnetIdMin, kDnetIdMax)) {
        return "Error!! The DeviceNet Device ID must be between 0 and 63. ";
    }
    if (!inRange(settings.serialDeviceId, kSerialIdMin, kSerialIdMax)) {
        return "Error!! The Serial ID must be between 1 and 247. ";
    }
    return std::nullopt;
}

CommSettingsReading commSettingsReading(const XmlDocument& document) {
    CommSettingsReading reading;
    const auto root = document.firstNode();
    for (std::size_t field = 0; field < kCommFieldCount; ++field) {
        const ReadPlace place{{}, 0, format::kElements[field]};
        reading.values[field] = root ? elementValue(*root, place, ValueKind::Integer)
                                     : ReadValue{{}, {}, {ReadStatus::Missing, place, {}}};
    }
    return reading;
}

CommSettingsReading readCommSettingsFile(const std::filesystem::path& file) {
    CommSettingsReading reading;
    reading.document = readDocumentFile(file, [&reading](const std::filesystem::path& path) {
        XmlDocument document;
        document.load(path);
        reading = commSettingsReading(document);
    });
    return reading;
}

CommSettings commSettingsFromReading(const CommSettingsReading& read) {
    CommSettings settings;
    if (const auto& id = read[kCommDnetDeviceId].text) settings.dnetDeviceId = *id;
    takeListValue(kDnetBaudList, read[kCommDnetBaud], settings.dnetBaud);
    takeListValue(kSerialBaudList, read[kCommSerialBaud], settings.serialBaud);
    takeListValue(kSerialParityList, read[kCommSerialParity], settings.serialParity);
    if (const auto& id = read[kCommSerialDeviceId].text) settings.serialDeviceId = *id;
    if (const auto& line = read[kCommSerialLine].integer) {
        settings.serialLine = *line == 1 ? SerialLine::Rs485 : SerialLine::Rs232;
    }
    if (const auto& protocol = read[kCommSerialProtocol].integer) {
        const bool known =
            *protocol >= 0 && *protocol <= static_cast<std::int32_t>(SerialProtocol::Binary);
        settings.protocol = known ? static_cast<SerialProtocol>(*protocol) : SerialProtocol::Ascii;
    }
    // Compared as text: "01" is not the B2 variant.
    if (const auto& hardware = read[kCommHardware].text) {
        settings.hardware = *hardware == "1" ? HardwareType::B2 : HardwareType::A1;
    }
    return settings;
}

CommSettings commSettingsFromDocument(const XmlDocument& document) {
    return commSettingsFromReading(commSettingsReading(document));
}

CommSettings readCommSettings(const std::filesystem::path& file) {
    const CommSettingsReading reading = readCommSettingsFile(file);
    requireReadable(reading.document);
    return commSettingsFromReading(reading);
}

XmlDocument commSettingsDocument(const CommSettings& settings) {
    XmlDocument document;
    XmlNode root = document.create(format::kRoot);
    const auto append = [&root](const char* name, std::string_view text) {
        root.appendChild(name).setText(text);
    };
    const auto number = [](auto value) { return std::to_string(static_cast<std::int32_t>(value)); };
    append(format::kDnetDeviceId, settings.dnetDeviceId);
    append(format::kDnetBaud, number(settings.dnetBaud));
    append(format::kSerialBaud, number(settings.serialBaud));
    append(format::kSerialParity, number(settings.serialParity));
    append(format::kSerialDeviceId, settings.serialDeviceId);
    append(format::kSerialLine, number(settings.serialLine));
    append(format::kSerialProtocol, number(settings.protocol));
    append(format::kHardware, number(settings.hardware));
    return document;
}

void writeCommSettings(const CommSettings& settings, const std::filesystem::path& file) {
    commSettingsDocument(settings).save(file);
}

}  // namespace velmora
