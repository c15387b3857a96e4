#include "modbus/poll_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmora::modbus {
namespace {

DecodedRegister row(std::uint16_t index, std::uint8_t node = 0, std::int32_t posComp = 0) {
    return {index, posComp, node};
}

std::vector<DecodedRegister> rows(std::initializer_list<std::uint16_t> indexes) {
    std::vector<DecodedRegister> map;
    for (const std::uint16_t i : indexes) map.push_back(row(i));
    return map;
}

TEST(PollPlan, RunsAreContiguousAndNoLongerThanTheLimit) {
    struct Case {
        std::vector<DecodedRegister> map;
        std::uint16_t limit;
        std::vector<RegisterRun> runs;
    };
    std::vector<DecodedRegister> wide;
    for (int i = 0; i < 300; ++i) wide.push_back(row(static_cast<std::uint16_t>(1000 + i)));
    std::vector<DecodedRegister> top;  // the last indexes: no run may wrap past 65535
    for (int i = 65530; i <= 65535; ++i) top.push_back(row(static_cast<std::uint16_t>(i)));
    const std::vector<Case> cases = {
        {rows({0, 1, 2, 3, 5}), 125, {{0, 4}, {5, 1}}},  // a gap of one is not bridged
        {rows({7}), 125, {{7, 1}}},
        {rows({}), 125, {}},
        {wide, 125, {{1000, 125}, {1125, 125}, {1250, 50}}},
        {rows({0, 1, 2, 3, 4}), 2, {{0, 2}, {2, 2}, {4, 1}}},
        {top, 125, {{65530, 6}}},
        {rows({0, 0, 0, 1, 1, 2}), 125, {{0, 3}}},  // repeated indexes asked for once
    };
    for (const Case& c : cases) {
        EXPECT_EQ(planPoll(c.map, c.limit).runs, c.runs) << c.map.size();
    }
}

TEST(PollPlan, RepeatedIndexKeepsItsFirstRowAndIsCountedOnce) {
    const std::vector<DecodedRegister> map = {row(0, 0, 1), row(0, 1, 2), row(0, 1, 3),
                                              row(4, 0, 4), row(4, 1, 5), row(9, 0, 6)};
    const PollPlan plan = planPoll(map);
    ASSERT_EQ(plan.registers.size(), 3u);
    EXPECT_EQ(plan.registers[0].nodePosition, 0u);
    EXPECT_EQ(plan.registers[0].lowByte, 1);
    EXPECT_EQ(plan.registers[1].lowByte, 4);
    EXPECT_EQ(plan.repeatedIndexes, 2u);
}

TEST(PollPlan, SplitRunKeepsTheRestTogetherAndTheRefusedAlone) {
    const std::vector<std::uint16_t> none;
    const std::vector<std::uint16_t> middle = {12};
    const std::vector<std::uint16_t> ends = {10, 14};
    const std::vector<std::uint16_t> two = {11, 12};
    // Every register read alone: the length was refused, so the run is halved, not kept whole
    // to be refused and read register by register again at every poll.
    EXPECT_EQ(splitRun({10, 5}, none), (std::vector<RegisterRun>{{10, 2}, {12, 3}}));
    EXPECT_EQ(splitRun({10, 1}, none), (std::vector<RegisterRun>{{10, 1}}));
    EXPECT_EQ(splitRun({10, 5}, middle), (std::vector<RegisterRun>{{10, 2}, {12, 1}, {13, 2}}));
    EXPECT_EQ(splitRun({10, 5}, ends), (std::vector<RegisterRun>{{10, 1}, {11, 3}, {14, 1}}));
    EXPECT_EQ(splitRun({10, 5}, two),
              (std::vector<RegisterRun>{{10, 1}, {11, 1}, {12, 1}, {13, 2}}));
}

// Node 1 has 3 bytes, node 2 has 2. Register 0 carries node 1's bytes 1 (high) and 3 (its last,
// low); register 1 node 2's byte 2 (low) alone; register 2 node 2's byte 1 and a byte 5 it does
// not have; register 3 did not read.
TEST(PollPlan, NodeBytesComeFromTheirRegistersHalves) {
    const std::vector<DecodedRegister> map = {row(0, 0, 0x10003), row(1, 1, 2), row(2, 1, 0x10005),
                                              row(3, 0, 2)};
    const PollPlan plan = planPoll(map);
    const std::vector<std::size_t> counts = {3, 2};
    const RegisterValues values = {0xA1B2, 0x00C3, 0xD4E5, std::nullopt};
    const auto bytes = nodeBytes(plan, counts, values);
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], (std::vector<std::optional<std::uint8_t>>{0xA1, std::nullopt, 0xB2}));
    EXPECT_EQ(bytes[1], (std::vector<std::optional<std::uint8_t>>{0xD4, 0xC3}));
}

}  // namespace
}  // namespace velmora::modbus
