#include "modbus/poll_plan.h"

#include <algorithm>

namespace velmora::modbus {

PollPlan planPoll(std::span<const DecodedRegister> readMap, std::uint16_t maxCount) {
    PollPlan plan;
    for (std::size_t i = 0; i < readMap.size(); ++i) {
        const DecodedRegister& row = readMap[i];
        if (i > 0 && readMap[i - 1].index == row.index) {
            // The first row of a repeated index is the one the gateway serves; counted once.
            if (i == 1 || readMap[i - 2].index != row.index) ++plan.repeatedIndexes;
            continue;
        }
        plan.registers.push_back({row.index, row.nodePosition, row.highByte(), row.lowByte()});
    }
    for (const PolledRegister& r : plan.registers) {
        RegisterRun* last = plan.runs.empty() ? nullptr : &plan.runs.back();
        if (last != nullptr && last->count < maxCount &&
            static_cast<std::uint32_t>(last->first) + last->count == r.index) {
            ++last->count;
        } else {
            plan.runs.push_back({r.index, 1});
        }
    }
    return plan;
}

std::vector<RegisterRun> splitRun(const RegisterRun& run, std::span<const std::uint16_t> refused) {
    std::vector<RegisterRun> runs;
    if (refused.empty() && run.count > 1) {
        const auto half = static_cast<std::uint16_t>(run.count / 2);
        return {{run.first, half},
                {static_cast<std::uint16_t>(run.first + half),
                 static_cast<std::uint16_t>(run.count - half)}};
    }
    const std::uint32_t end = static_cast<std::uint32_t>(run.first) + run.count;
    std::uint32_t start = run.first;
    for (std::uint32_t index = run.first; index < end; ++index) {
        if (std::find(refused.begin(), refused.end(), index) == refused.end()) continue;
        if (index > start) {
            runs.push_back(
                {static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(index - start)});
        }
        runs.push_back({static_cast<std::uint16_t>(index), 1});
        start = index + 1;
    }
    if (end > start) {
        runs.push_back(
            {static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(end - start)});
    }
    return runs;
}

std::vector<std::vector<std::optional<std::uint8_t>>> nodeBytes(
    const PollPlan& plan, std::span<const std::size_t> byteCounts, const RegisterValues& values) {
    std::vector<std::vector<std::optional<std::uint8_t>>> bytes;
    bytes.reserve(byteCounts.size());
    for (const std::size_t count : byteCounts) bytes.emplace_back(count);
    for (std::size_t i = 0; i < plan.registers.size() && i < values.size(); ++i) {
        const PolledRegister& r = plan.registers[i];
        if (!values[i] || r.nodePosition >= bytes.size()) continue;
        auto& node = bytes[r.nodePosition];
        const auto place = [&](std::uint16_t byteNumber, std::uint8_t value) {
            if (byteNumber >= 1 && byteNumber <= node.size()) node[byteNumber - 1] = value;
        };
        place(r.highByte, static_cast<std::uint8_t>(*values[i] >> 8));
        place(r.lowByte, static_cast<std::uint8_t>(*values[i] & 0xFF));
    }
    return bytes;
}

}  // namespace velmora::modbus
