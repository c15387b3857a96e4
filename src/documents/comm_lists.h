#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace velmora {

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

// How a serial protocol frames its messages: the framing class the device receives.
enum class SerialFraming : std::uint8_t { Binary = 0, Ascii = 1 };

// What a serial protocol is, and how it frames on the line.
struct ProtocolMeaning {
    SerialProtocol protocol;
    SerialFraming framing;

    bool operator==(const ProtocolMeaning&) const = default;
};

// The text of `value` among `labels`, a list's texts by position; none when the list offers no
// such value.
constexpr std::optional<std::string_view> labelAt(std::span<const std::string_view> labels,
                                                  std::int64_t value) {
    if (value < 0 || static_cast<std::uint64_t>(value) >= labels.size()) return std::nullopt;
    return labels[static_cast<std::size_t>(value)];
}

// One item of a list of pargen.xml: the value stored, the text shown, and what it means.
template <typename Meaning>
struct CommListItem {
    std::int32_t value;
    std::string_view label;
    Meaning meaning;
};

// One list of pargen.xml: the element holding its value and every value it offers, each value
// its item's position. The list is the field's own description: the settings table takes the
// element and the texts from it.
template <typename Meaning, std::size_t N>
struct CommList {
    const char* element;    // the element of pargen.xml
    std::string_view what;  // the list in a sentence: "serial baud rates"
    std::array<CommListItem<Meaning>, N> items;

    static constexpr std::size_t size() { return N; }

    // The item storing `value`, or none when the list offers no such value.
    constexpr const CommListItem<Meaning>* find(std::int64_t value) const {
        for (const auto& item : items) {
            if (item.value == value) return &item;
        }
        return nullptr;
    }
    constexpr bool contains(std::int64_t value) const { return find(value) != nullptr; }
    // The text shown for `value`, or none when the list offers no such value.
    constexpr std::optional<std::string_view> labelOf(std::int64_t value) const {
        const auto* item = find(value);
        return item ? std::optional(item->label) : std::nullopt;
    }
    // What `value` means, or none when the list offers no such value.
    constexpr std::optional<Meaning> meaningOf(std::int64_t value) const {
        const auto* item = find(value);
        return item ? std::optional(item->meaning) : std::nullopt;
    }
    // The texts shown, by position.
    constexpr std::array<std::string_view, N> labels() const {
        std::array<std::string_view, N> result{};
        for (std::size_t i = 0; i < N; ++i) result[i] = items[i].label;
        return result;
    }
    // Whether every item's value is its position, as pargen.xml and the image store them.
    constexpr bool valuesArePositions() const {
        for (std::size_t i = 0; i < N; ++i) {
            if (items[i].value != static_cast<std::int32_t>(i)) return false;
        }
        return true;
    }
};

// The DeviceNet baud rates, meaning bits per second.
inline constexpr CommList<std::int32_t, 3> kDnetBaudList{
    "DNET_BAUD",
    "DeviceNet baud rates",
    {{{0, "125K", 125'000}, {1, "250K", 250'000}, {2, "500K", 500'000}}}};

// The serial baud rates, meaning bits per second.
inline constexpr CommList<std::int32_t, 8> kSerialBaudList{"Ser_Baud",
                                                           "serial baud rates",
                                                           {{{0, "1200", 1200},
                                                             {1, "2400", 2400},
                                                             {2, "4800", 4800},
                                                             {3, "9600", 9600},
                                                             {4, "19200", 19200},
                                                             {5, "38400", 38400},
                                                             {6, "57600", 57600},
                                                             {7, "115200", 115'200}}}};

// The serial parities, meaning the letter a serial line's settings name them by.
inline constexpr CommList<char, 3> kSerialParityList{
    "Ser_Par", "parities", {{{0, "NONE", 'N'}, {1, "EVEN", 'E'}, {2, "ODD", 'O'}}}};

// The serial line types.
inline constexpr CommList<SerialLine, 2> kSerialLineList{
    "Ser_Type", "line types", {{{0, "RS232", SerialLine::Rs232}, {1, "RS485", SerialLine::Rs485}}}};

// The serial protocols and their framing.
inline constexpr CommList<ProtocolMeaning, 5> kSerialProtocolList{
    "Ser_Prot",
    "protocols",
    {{{0, "Modbus RTU", {SerialProtocol::ModbusRtu, SerialFraming::Binary}},
      {1, "Modbus ASCII", {SerialProtocol::ModbusAscii, SerialFraming::Ascii}},
      {2, "JBUS", {SerialProtocol::Jbus, SerialFraming::Binary}},
      {3, "Binary", {SerialProtocol::Binary, SerialFraming::Binary}},
      {4, "ASCII", {SerialProtocol::Ascii, SerialFraming::Ascii}}}}};

// The hardware variants.
inline constexpr CommList<HardwareType, 2> kHardwareList{
    "HW_Type",
    "hardware variants",
    {{{0, "QH48203-A1", HardwareType::A1}, {1, "QH48203-B2", HardwareType::B2}}}};

}  // namespace velmora
