#include "documents/comm_settings.h"

#include "core/error.h"
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

std::string CommField::written(const CommSettings& settings) const {
    return isList() ? std::to_string(value(settings)) : settings.*text;
}

std::optional<std::int32_t> CommField::chosenBy(const ReadValue& read) const {
    std::optional<std::int32_t> stored;
    if (match == ListMatch::Value) {
        stored = read.integer;
    } else if (read.text) {
        // Only the plain decimal of a value names it; any other text is outside the list.
        stored = outside;
        for (std::size_t at = 0; at < labels.size(); ++at) {
            if (*read.text == std::to_string(at)) stored = static_cast<std::int32_t>(at);
        }
    }
    if (!stored) return std::nullopt;
    return offers(*stored) ? *stored : outside;
}

CommSettingsReading commSettingsReading(const XmlDocument& document) {
    CommSettingsReading reading;
    const auto root = document.firstNode();
    for (std::size_t at = 0; at < kCommFields.size(); ++at) {
        const ReadPlace place{{}, 0, kCommFields[at].element};
        reading.values[at] = root ? elementValue(*root, place, ValueKind::Integer)
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

CommSettings commSettingsFromReading(const CommSettingsReading& reading) {
    CommSettings settings;
    for (const CommField& field : kCommFields) {
        const ReadValue& read = reading[field];
        if (!field.isList()) {
            if (read.text) settings.*field.text = *read.text;
        } else if (const auto value = field.chosenBy(read)) {
            field.setValue(settings, *value);
        }
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
    for (const CommField& field : kCommFields) {
        root.appendChild(field.element).setText(field.written(settings));
    }
    return document;
}

void writeCommSettings(const CommSettings& settings, const std::filesystem::path& file) {
    commSettingsDocument(settings).save(file);
}

}  // namespace velmora
