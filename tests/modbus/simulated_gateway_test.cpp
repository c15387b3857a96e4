#include "modbus/simulated_gateway.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "documents/register_map.h"

namespace velmora::modbus {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = Answer::Kind;

// The example project's two nodes (ID 5: 4 in, 2 out; ID 9: 8 in, 6 out) with a fuller map.
DecodedImage exampleImage() {
    DecodedImage image;
    image.nodes = {{5, 4, 2, 0, 0}, {9, 8, 6, 4, 2}};
    image.readMap = {{0, 0, 0},
                     {1, PackPosComp(1, 2), 0},
                     {2, PackPosComp(3, 4), 1},
                     {3, PackPosComp(0, 6), 1},
                     {5, PackPosComp(2, 0), 1}};
    image.writeMap = {
        {100, PackPosComp(0, 2), 1}, {101, PackPosComp(3, 4), 1}, {102, PackPosComp(4, 1), 0}};
    return image;
}

Bytes readPdu(std::uint8_t function, std::uint16_t first, std::uint16_t count) {
    return {function, static_cast<std::uint8_t>(first >> 8), static_cast<std::uint8_t>(first),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

Bytes writeMultiplePdu(std::uint16_t first, const std::vector<std::uint16_t>& values) {
    Bytes pdu = readPdu(kWriteMultipleRegisters, first, static_cast<std::uint16_t>(values.size()));
    pdu.push_back(static_cast<std::uint8_t>(2 * values.size()));
    for (const std::uint16_t v : values) {
        pdu.push_back(static_cast<std::uint8_t>(v >> 8));
        pdu.push_back(static_cast<std::uint8_t>(v));
    }
    return pdu;
}

class Gateway : public ::testing::Test {
protected:
    Gateway() { gateway.setOutputs({{0, {0x11, 0x22}}, {1, {1, 2, 3, 4, 5, 6}}}); }
    SimulatedGateway gateway{exampleImage(), 17, true};
};

TEST_F(Gateway, ReadRegisterIsHighChoiceTimes256PlusLowChoice) {
    for (const std::uint8_t function : {kReadHoldingRegisters, kReadInputRegisters}) {
        const Answer answer = gateway.handle(17, readPdu(function, 0, 4));
        EXPECT_EQ(answer.kind, Kind::Reply);
        EXPECT_EQ(answer.address, 0);
        EXPECT_EQ(answer.values, (std::vector<std::uint16_t>{0, 0x1122, 0x0304, 0x0006}));
    }
    EXPECT_EQ(gateway.handle(17, readPdu(kReadHoldingRegisters, 5, 1)).values,
              std::vector<std::uint16_t>{0x0200});
}

TEST_F(Gateway, AnswersRequestsByUnitFunctionAndAddress) {
    struct Case {
        const char* what;
        std::uint8_t unit;
        Bytes pdu;
        Kind kind;
        std::uint8_t exception;
    };
    const std::vector<Case> cases = {
        {"unmapped register inside a read range", 17, readPdu(3, 3, 3), Kind::Exception, 2},
        {"read past the last register", 17, readPdu(3, 65535, 2), Kind::Exception, 2},
        {"read of no register", 17, readPdu(3, 0, 0), Kind::Exception, 3},
        {"read of 126 registers", 17, readPdu(4, 0, 126), Kind::Exception, 3},
        {"write to a register of the read map only", 17, readPdu(6, 0, 7), Kind::Exception, 2},
        {"write range reaching an unmapped register", 17, writeMultiplePdu(100, {1, 2, 3, 4}),
         Kind::Exception, 2},
        {"write with a wrong byte count", 17, {16, 0, 100, 0, 1, 3, 0, 0}, Kind::Exception, 3},
        {"read coils", 17, readPdu(1, 0, 1), Kind::Exception, 1},
        {"read and write registers", 17, readPdu(23, 0, 1), Kind::Exception, 1},
        {"another unit", 2, readPdu(3, 0, 1), Kind::Ignore, 0},
        {"the TCP unit for any slave", 255, readPdu(3, 0, 1), Kind::Reply, 0},
        {"a broadcast read", 0, readPdu(3, 0, 1), Kind::Ignore, 0},
        {"a broadcast to an unmapped register", 0, readPdu(6, 7, 1), Kind::Ignore, 0},
    };
    for (const Case& c : cases) {
        const Answer answer = gateway.handle(c.unit, c.pdu);
        EXPECT_EQ(answer.kind, c.kind) << c.what;
        EXPECT_EQ(answer.exception, c.exception) << c.what;
        EXPECT_TRUE(answer.writes.empty()) << c.what;
    }
    SimulatedGateway serial(exampleImage(), 17, false);
    EXPECT_EQ(serial.handle(255, readPdu(3, 0, 1)).kind, Kind::Ignore);
}

TEST_F(Gateway, WritesSetTheNamedInputBytesAndSayWhatChanged) {
    const Answer single = gateway.handle(17, readPdu(kWriteSingleRegister, 101, 0x1234));
    EXPECT_EQ(single.kind, Kind::Reply);
    ASSERT_EQ(single.writes.size(), 1u);
    EXPECT_EQ(describeWrite(single.writes[0]),
              "register 101 = 4660 (0x1234): node 2 input byte 3 0 -> 18, input byte 4 0 -> 52");
    EXPECT_EQ(gateway.inputs(1), (Bytes{0, 0, 0x12, 0x34, 0, 0, 0, 0}));

    const Answer multiple = gateway.handle(17, writeMultiplePdu(100, {0xAABB, 0x5678, 0x0102}));
    EXPECT_EQ(multiple.kind, Kind::Reply);
    ASSERT_EQ(multiple.writes.size(), 3u);
    EXPECT_EQ(describeWrite(multiple.writes[0]),
              "register 100 = 43707 (0xAABB): node 2 input byte 2 0 -> 187");
    EXPECT_EQ(
        describeWrite(multiple.writes[1]),
        "register 101 = 22136 (0x5678): node 2 input byte 3 18 -> 86, input byte 4 52 -> 120");
    EXPECT_EQ(describeWrite(multiple.writes[2]),
              "register 102 = 258 (0x0102): node 1 input byte 4 0 -> 1, input byte 1 0 -> 2");
    EXPECT_EQ(gateway.inputs(0), (Bytes{2, 0, 0, 1}));
    EXPECT_EQ(gateway.inputs(1), (Bytes{0, 0xBB, 0x56, 0x78, 0, 0, 0, 0}));
}

TEST_F(Gateway, BroadcastWriteIsAppliedWithoutAnswer) {
    const Answer answer = gateway.handle(kBroadcastUnit, writeMultiplePdu(100, {0x0009}));
    EXPECT_EQ(answer.kind, Kind::Ignore);
    ASSERT_EQ(answer.writes.size(), 1u);
    EXPECT_EQ(gateway.inputs(1)[1], 9);
}

TEST_F(Gateway, OutputsAreReplacedWholeByNewData) {
    gateway.setOutputs({{1, {0, 0, 7}}});
    EXPECT_EQ(gateway.handle(17, readPdu(3, 1, 2)).values, (std::vector<std::uint16_t>{0, 0x0700}));
}

TEST(GatewayMap, RepeatedIndexReadsItsFirstRowAndWritesEveryRow) {
    DecodedImage image = exampleImage();
    image.readMap.insert(image.readMap.begin() + 2, {1, PackPosComp(2, 1), 0});
    image.writeMap.push_back({100, PackPosComp(1, 0), 0});
    SimulatedGateway gateway(image, 1, false);
    gateway.setOutputs({{0, {0x11, 0x22}}});
    EXPECT_EQ(gateway.handle(1, readPdu(3, 1, 1)).values, std::vector<std::uint16_t>{0x1122});
    const Answer answer = gateway.handle(1, readPdu(6, 100, 0x0A0B));
    ASSERT_EQ(answer.writes.size(), 1u);
    EXPECT_EQ(
        describeWrite(answer.writes[0]),
        "register 100 = 2571 (0x0A0B): node 2 input byte 2 0 -> 11, node 1 input byte 1 0 -> 10");
}

TEST(GatewayMap, ChoiceBeyondTheNodesBytesIsServedAsNoByte) {
    DecodedImage image = exampleImage();
    image.readMap = {{0, PackPosComp(3, 1), 0}, {1, PackPosComp(1, 0), 4}};
    image.writeMap = {{0, PackPosComp(9, 1), 1}};
    SimulatedGateway gateway(image, 1, false);
    EXPECT_EQ(
        gateway.warnings(),
        (std::vector<std::string>{
            "Read register 0 names output byte 3 of node 1, which has 2: it reads as 0",
            "Read register 1 names output byte 1 of node 5, which has 0: it reads as 0",
            "Write register 0 names input byte 9 of node 2, which has 8: it is not written"}));
    gateway.setOutputs({{0, {0x11, 0x22}}});
    EXPECT_EQ(gateway.handle(1, readPdu(3, 0, 2)).values, (std::vector<std::uint16_t>{0x0011, 0}));
    const Answer answer = gateway.handle(1, readPdu(6, 0, 0x0102));
    ASSERT_EQ(answer.writes.size(), 1u);
    EXPECT_EQ(describeWrite(answer.writes[0]),
              "register 0 = 258 (0x0102): node 2 input byte 1 0 -> 2");
}

// A repeated index is served one way and said once: reads from its first record, writes to all.
TEST(GatewayMap, ARepeatedIndexIsNamedWithTheRecordItIsServedFrom) {
    DecodedImage image = exampleImage();
    image.readMap = {
        {4, PackPosComp(0, 1), 0}, {3, PackPosComp(0, 2), 0}, {4, PackPosComp(0, 2), 0}};
    image.writeMap = {{8, PackPosComp(0, 1), 1}, {8, PackPosComp(0, 2), 1}};
    SimulatedGateway gateway(image, 1, false);
    EXPECT_EQ(gateway.warnings(),
              (std::vector<std::string>{
                  "Read register 4 stands 2 times (records 0, 2 of the read map): a read is "
                  "answered from record 0",
                  "Write register 8 stands 2 times (records 0, 1 of the write map): a write goes "
                  "to every one of them"}));
    EXPECT_EQ(gateway.repeatedIndexes(), 2u);
    gateway.setOutputs({{0, {0x11, 0x22}}});
    EXPECT_EQ(gateway.handle(1, readPdu(3, 4, 1)).values, std::vector<std::uint16_t>{0x0011});
    const Answer answer = gateway.handle(1, readPdu(6, 8, 0x0009));
    ASSERT_EQ(answer.writes.size(), 1u);
    EXPECT_EQ(describeWrite(answer.writes[0]),
              "register 8 = 9 (0x0009): node 2 input byte 1 0 -> 9, input byte 2 0 -> 9");
}

}  // namespace
}  // namespace velmora::modbus
