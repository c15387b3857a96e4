#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/image_decoder.h"

namespace velmora::modbus {

// The most registers one read request may ask for.
inline constexpr std::uint16_t kMaxReadCount = 125;

// One register of the read map as a poll sees it: the node byte its high and low byte carry.
struct PolledRegister {
    std::uint16_t index = 0;
    std::size_t nodePosition = 0;  // counted from 0 in the node table
    std::uint16_t highByte = 0;    // byte number counted from 1 among the node's bytes; 0 for none
    std::uint16_t lowByte = 0;
};

// One read request: `count` registers from `first`.
struct RegisterRun {
    std::uint16_t first = 0;
    std::uint16_t count = 0;
    bool operator==(const RegisterRun&) const = default;
};

// What one poll reads: every register of the read map once, in ascending index order, and the
// requests that cover them.
struct PollPlan {
    std::vector<PolledRegister> registers;
    std::vector<RegisterRun> runs;
    // Registers the map holds more than once; the gateway serves the first row of each.
    std::size_t repeatedIndexes = 0;
};

// The plan for `readMap` (rows in ascending index order, equal indexes in image order): runs of
// contiguous indexes, at most `maxCount` registers each. An unmapped index is never asked for,
// since the gateway answers exception 2 for the whole request that holds it.
PollPlan planPoll(std::span<const DecodedRegister> readMap, std::uint16_t maxCount = kMaxReadCount);

// The runs that replace `run` once it was refused as an illegal data address and the registers
// in `refused` (indexes within it) were refused alone: the registers between them in runs again,
// each refused one alone, so the next poll still shows the rest and keeps telling which one is
// refused. When none was refused alone, the server refuses the run's length, not a register: the
// run in two halves, so that the polls after need not read it register by register again.
std::vector<RegisterRun> splitRun(const RegisterRun& run, std::span<const std::uint16_t> refused);

// A register's value, or none when its request got no good answer.
using RegisterValues = std::vector<std::optional<std::uint16_t>>;

// The node bytes the values carry, by node position: for each of the `byteCounts[i]` bytes of
// node i, the value of the register byte paired with it, or none when no register carries it or
// its register has no value. `values` runs parallel to `plan.registers`. A byte number past the
// node's bytes is passed over, as the gateway does.
std::vector<std::vector<std::optional<std::uint8_t>>> nodeBytes(
    const PollPlan& plan, std::span<const std::size_t> byteCounts, const RegisterValues& values);

}  // namespace velmora::modbus
