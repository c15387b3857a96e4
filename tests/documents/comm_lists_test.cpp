#include "documents/comm_lists.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {
namespace {

// A stored value, the text shown for it and what it means; none where the list offers no such
// value.
template <typename Meaning>
struct Case {
    std::int64_t value;
    std::optional<std::string_view> label;
    std::optional<Meaning> meaning;
};

template <typename Meaning, std::size_t N>
void expectItems(const CommList<Meaning, N>& list, std::initializer_list<Case<Meaning>> cases) {
    for (const Case<Meaning>& c : cases) {
        SCOPED_TRACE(std::string(list.element) + " " + std::to_string(c.value));
        EXPECT_EQ(list.contains(c.value), c.label.has_value());
        EXPECT_EQ(list.labelOf(c.value), c.label);
        EXPECT_EQ(list.meaningOf(c.value), c.meaning);
    }
}

// The device and a serial line read each stored value so: the wrong pairing would configure the
// gateway at another speed or parity than the one shown.
TEST(CommLists, EachStoredValueHasItsTextAndMeaning) {
    expectItems(kDnetBaudList, {{0, "125K", 125'000},
                                {2, "500K", 500'000},
                                {-1, std::nullopt, std::nullopt},
                                {3, std::nullopt, std::nullopt}});
    expectItems(kSerialBaudList, {{0, "1200", 1200},
                                  {4, "19200", 19200},
                                  {7, "115200", 115'200},
                                  {8, std::nullopt, std::nullopt},
                                  {255, std::nullopt, std::nullopt}});
    expectItems(
        kSerialParityList,
        {{0, "NONE", 'N'}, {1, "EVEN", 'E'}, {2, "ODD", 'O'}, {3, std::nullopt, std::nullopt}});
    expectItems(kSerialLineList, {{0, "RS232", SerialLine::Rs232},
                                  {1, "RS485", SerialLine::Rs485},
                                  {2, std::nullopt, std::nullopt}});
    expectItems(
        kSerialProtocolList,
        {{1, "Modbus ASCII", ProtocolMeaning{SerialProtocol::ModbusAscii, SerialFraming::Ascii}},
         {2, "JBUS", ProtocolMeaning{SerialProtocol::Jbus, SerialFraming::Binary}},
         {3, "Binary", ProtocolMeaning{SerialProtocol::Binary, SerialFraming::Binary}},
         {4, "ASCII", ProtocolMeaning{SerialProtocol::Ascii, SerialFraming::Ascii}},
         {7, std::nullopt, std::nullopt}});
    expectItems(kHardwareList, {{0, "QH48203-A1", HardwareType::A1},
                                {1, "QH48203-B2", HardwareType::B2},
                                {2, std::nullopt, std::nullopt}});
}

// Nothing reads a speed or a parity from the text shown: the text and the meaning must agree.
TEST(CommLists, BaudAndParityTextsAgreeWithTheirMeaning) {
    for (const auto& item : kDnetBaudList.items) {
        EXPECT_EQ(item.label, std::to_string(item.meaning / 1000) + "K");
    }
    for (const auto& item : kSerialBaudList.items) {
        EXPECT_EQ(item.label, std::to_string(item.meaning));
    }
    for (const auto& item : kSerialParityList.items) {
        EXPECT_EQ(item.label.substr(0, 1), std::string(1, item.meaning));
    }
}

}  // namespace
}  // namespace velmora
