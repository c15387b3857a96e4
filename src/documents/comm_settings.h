#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

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

// How the dialog takes a list's stored value back.
enum class ListMatch : std::uint8_t {
    Value,  // as an integer text: "01" and "0x1" choose the item of 1
    Text,   // as text: only an item's value in plain decimal chooses it ("01" does not)
};

// One value of pargen.xml: its element, the member of CommSettings holding it, and how it is
// written and taken back. A value is either a typed text, kept exactly as typed, or the value of
// a list, written in decimal.
struct CommField {
    const char* element;
    // A typed text: the member holding it; none for a list's value.
    std::string CommSettings::*text = nullptr;
    // A list's value: what the list offers in a sentence ("serial baud rates"), the text of each
    // value by position, and the member holding the value.
    std::string_view what;
    std::span<const std::string_view> labels;
    std::int32_t (*value)(const CommSettings&) = nullptr;
    void (*setValue)(CommSettings&, std::int32_t) = nullptr;
    ListMatch match = ListMatch::Value;
    // What a stored value outside the list is taken as: kNoListItem for a box, which then shows
    // no item, or the catch-all item of a radio choice.
    std::int32_t outside = kNoListItem;

    constexpr bool isList() const { return text == nullptr; }
    constexpr bool offers(std::int64_t v) const { return labelAt(labels, v).has_value(); }
    constexpr std::optional<std::string_view> labelOf(std::int64_t v) const {
        return labelAt(labels, v);
    }
    // The text written for `settings`.
    std::string written(const CommSettings& settings) const;
    // The list value that `read` chooses; none when it leaves the default (absent, not a single
    // text, or not an integer text where one is needed).
    std::optional<std::int32_t> chosenBy(const ReadValue& read) const;
};

namespace comm_field_detail {
template <auto Member>
std::int32_t valueOf(const CommSettings& settings) {
    return static_cast<std::int32_t>(settings.*Member);
}
template <auto Member>
void setValueOf(CommSettings& settings, std::int32_t value) {
    using Value = std::remove_cvref_t<decltype(settings.*Member)>;
    settings.*Member = static_cast<Value>(value);
}
template <const auto& List>
inline constexpr auto kLabels = List.labels();
}  // namespace comm_field_detail

// The typed text held in `member`, written and read back exactly as typed.
constexpr CommField typedText(const char* element, std::string CommSettings::*member) {
    CommField field{};
    field.element = element;
    field.text = member;
    return field;
}

// The value of `List` held in `Member`; the list names the element.
template <auto Member, const auto& List, typename Outside = std::int32_t>
constexpr CommField listValue(ListMatch match = ListMatch::Value, Outside outside = kNoListItem) {
    // Lists, labels and the image index items by their stored value.
    static_assert(List.valuesArePositions());
    return {List.element,
            nullptr,
            List.what,
            comm_field_detail::kLabels<List>,
            &comm_field_detail::valueOf<Member>,
            &comm_field_detail::setValueOf<Member>,
            match,
            static_cast<std::int32_t>(outside)};
}

// The values of pargen.xml, in the order they are written: the one place that describes them.
inline constexpr std::array kCommFields = {
    typedText(comm_settings_format::kDnetDeviceId, &CommSettings::dnetDeviceId),
    listValue<&CommSettings::dnetBaud, kDnetBaudList>(),
    listValue<&CommSettings::serialBaud, kSerialBaudList>(),
    listValue<&CommSettings::serialParity, kSerialParityList>(),
    typedText(comm_settings_format::kSerialDeviceId, &CommSettings::serialDeviceId),
    // Any integer but RS485's chooses RS232, any but the first four protocols' ASCII.
    listValue<&CommSettings::serialLine, kSerialLineList>(ListMatch::Value, SerialLine::Rs232),
    listValue<&CommSettings::protocol, kSerialProtocolList>(ListMatch::Value,
                                                            SerialProtocol::Ascii),
    listValue<&CommSettings::hardware, kHardwareList>(ListMatch::Text, HardwareType::A1),
};

// The field of `list`.
template <typename Meaning, std::size_t N>
constexpr const CommField& commField(const CommList<Meaning, N>& list) {
    for (const CommField& field : kCommFields) {
        if (std::string_view(field.element) == list.element) return field;
    }
    throw std::invalid_argument("a list without a field of pargen.xml");
}

// The field of the typed text held in `member`.
constexpr const CommField& commField(std::string CommSettings::*member) {
    for (const CommField& field : kCommFields) {
        if (field.text == member) return field;
    }
    throw std::invalid_argument("a member without a field of pargen.xml");
}

// The message of the first failing check of what the user entered (DeviceNet ID 0..63, then
// serial ID 1..247, both as integer texts), or none when both pass.
std::optional<std::string> commSettingsProblem(const CommSettings& settings);

// The reading of pargen.xml: the document's outcome and every value below its first top-level
// node, each taken as an integer text beside its raw text.
struct CommSettingsReading {
    ReadResult document;
    std::array<ReadValue, kCommFields.size()> values;

    // The value of `field`, an entry of kCommFields.
    const ReadValue& operator[](const CommField& field) const {
        return values[static_cast<std::size_t>(&field - kCommFields.data())];
    }
    template <typename Meaning, std::size_t N>
    const ReadValue& operator[](const CommList<Meaning, N>& list) const {
        return (*this)[commField(list)];
    }
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

// The document of `settings`: the root and its elements in their fixed order.
XmlDocument commSettingsDocument(const CommSettings& settings);

// Replaces `file` with the document of `settings`; throws velmora::Error when the save fails,
// leaving the previous file whole.
void writeCommSettings(const CommSettings& settings, const std::filesystem::path& file);

}  // namespace velmora
