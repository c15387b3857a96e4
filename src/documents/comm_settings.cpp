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

// Reads the values below one root; a value that cannot be read is left as it was.
class ValueReader {
public:
    explicit ValueReader(const XmlNode& root) : root_(root) {}

    // The element text of the child `name`, or none when the child is missing or its content
    // is not a single text.
    std::optional<std::string> text(const char* name) const {
        const auto element = root_.child(name);
        if (!element) return std::nullopt;
        try {
            return element->text();
        } catch (const Error&) {
            return std::nullopt;
        }
    }

    // The child `name`'s text taken as an integer text, or none.
    std::optional<std::int32_t> integer(const char* name) const {
        const auto value = text(name);
        return value ? parseIntegerText(*value) : std::nullopt;
    }

    // The value of `list`'s element, when it is an integer; kNoListItem when the list offers
    // no such value.
    template <typename List>
    void listValue(const List& list, std::int32_t& value) const {
        if (const auto read = integer(list.element)) {
            value = list.contains(*read) ? *read : kNoListItem;
        }
    }

private:
    XmlNode root_;
};

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

CommSettings commSettingsFromDocument(const XmlDocument& document) {
    CommSettings settings;
    const auto root = document.firstNode();
    if (!root) return settings;
    const ValueReader read(*root);

    if (auto id = read.text(format::kDnetDeviceId)) settings.dnetDeviceId = std::move(*id);
    read.listValue(kDnetBaudList, settings.dnetBaud);
    read.listValue(kSerialBaudList, settings.serialBaud);
    read.listValue(kSerialParityList, settings.serialParity);
    if (auto id = read.text(format::kSerialDeviceId)) settings.serialDeviceId = std::move(*id);
    if (const auto line = read.integer(format::kSerialLine)) {
        settings.serialLine = *line == 1 ? SerialLine::Rs485 : SerialLine::Rs232;
    }
    if (const auto protocol = read.integer(format::kSerialProtocol)) {
        const bool known =
            *protocol >= 0 && *protocol <= static_cast<std::int32_t>(SerialProtocol::Binary);
        settings.protocol = known ? static_cast<SerialProtocol>(*protocol) : SerialProtocol::Ascii;
    }
    // Compared as text: "01" is not the B2 variant.
    if (const auto hardware = read.text(format::kHardware)) {
        settings.hardware = *hardware == "1" ? HardwareType::B2 : HardwareType::A1;
    }
    return settings;
}

CommSettings readCommSettings(const std::filesystem::path& file) {
    if (!XmlDocument::fileExists(file)) return CommSettings{};
    XmlDocument document;
    document.load(file);
    return commSettingsFromDocument(document);
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
