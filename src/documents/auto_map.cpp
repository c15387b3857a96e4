#include "documents/auto_map.h"

#include <array>

#include "core/error.h"

namespace velmora {

namespace {

constexpr std::array<MapSide, 2> kSides = {MapSide::Read, MapSide::Write};

// What one map holds before the auto map adds to it: the bytes each node's registers carry (by
// byte number, either half) and the indexes in use.
struct MapHolding {
    std::vector<std::vector<char>> carried;
    std::vector<char> used = std::vector<char>(kHighestAutoMapIndex + 1, 0);
};

MapHolding holdingOf(const DNNodeList& nodes, AutoMapMode mode) {
    MapHolding holding;
    holding.carried.resize(nodes.size());
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const TClDNNode& node = nodes[n];
        std::vector<char>& carried = holding.carried[n];
        carried.assign(static_cast<std::size_t>(byteChoiceCount(node.NByte)) + 1, 0);
        if (mode == AutoMapMode::Replace) continue;
        for (const TClIndMB& entry : node.IndMBList) {
            const PosCompChoices choices = posCompTextChoices(entry.PosComp());
            for (const std::int32_t byte : {choices.high, choices.low}) {
                if (byte >= 1 && static_cast<std::size_t>(byte) < carried.size()) {
                    carried[static_cast<std::size_t>(byte)] = 1;
                }
            }
            const auto index = entry.indexValue();
            if (index && *index >= 0 && *index <= kHighestAutoMapIndex) {
                holding.used[static_cast<std::size_t>(*index)] = 1;
            }
        }
    }
    return holding;
}

// Places the bytes not yet carried of every node of one map, from `start` on.
void placeBytes(MapSide side, DNNodeList& nodes, MapHolding& holding, std::int32_t start,
                AutoMapByteOrder order, AutoMapResult& result) {
    std::int32_t next = start;
    const auto freeIndex = [&]() -> std::optional<std::int32_t> {
        while (next <= kHighestAutoMapIndex && holding.used[static_cast<std::size_t>(next)]) {
            ++next;
        }
        if (next > kHighestAutoMapIndex) return std::nullopt;
        holding.used[static_cast<std::size_t>(next)] = 1;
        return next++;
    };
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        TClDNNode& node = nodes[n];
        const std::vector<char>& carried = holding.carried[n];
        const auto count = static_cast<std::int32_t>(carried.size()) - 1;
        AutoMapOverflow overflow{side, node.NrDNNode, {}};
        node.IndMBList.reserve(node.IndMBList.size() + static_cast<std::size_t>(count + 1) / 2);
        for (std::int32_t first = 1; first <= count; first += 2) {
            const std::int32_t second = first + 1;
            const std::int32_t a = carried[static_cast<std::size_t>(first)] ? 0 : first;
            const std::int32_t b =
                second > count || carried[static_cast<std::size_t>(second)] ? 0 : second;
            if (a == 0 && b == 0) continue;
            const auto index = freeIndex();
            if (!index) {
                for (const std::int32_t byte : {a, b}) {
                    if (byte != 0) overflow.bytes.push_back(byte);
                }
                continue;
            }
            const PosCompChoices choices = order == AutoMapByteOrder::FirstByteLow
                                               ? PosCompChoices{b, a}
                                               : PosCompChoices{a, b};
            node.appendEntry(
                TClIndMB(std::to_string(*index), *posCompText(choices.high, choices.low)));
            result.added.push_back({side, node.NrDNNode, *index, choices});
        }
        if (!overflow.bytes.empty()) result.overflow.push_back(std::move(overflow));
    }
}

}  // namespace

AutoMapResult autoMap(DNNodeLists& lists, const AutoMapOptions& options) {
    // Everything that can fail is settled before the map changes.
    std::array<MapHolding, kSides.size()> holdings;
    for (std::size_t s = 0; s < kSides.size(); ++s) {
        const MapSide side = kSides[s];
        if (!options.maps(side)) continue;
        const std::int32_t start = options.start(side);
        if (start < 0 || start > kHighestAutoMapIndex) {
            throw Error("The start index " + std::to_string(start) + " of the " +
                        (side == MapSide::Read ? "read" : "write") + " map is not from 0 to 65535");
        }
        holdings[s] = holdingOf(lists.list(side), options.mode);
    }
    AutoMapResult result;
    for (std::size_t s = 0; s < kSides.size(); ++s) {
        const MapSide side = kSides[s];
        if (!options.maps(side)) continue;
        DNNodeList& nodes = lists.list(side);
        if (options.mode == AutoMapMode::Replace) {
            for (TClDNNode& node : nodes) {
                result.removed += node.IndMBList.size();
                node.IndMBList.clear();
            }
        }
        placeBytes(side, nodes, holdings[s], options.start(side), options.order, result);
    }
    return result;
}

std::string byteRunsText(const std::vector<std::int32_t>& bytes) {
    std::string text = bytes.size() == 1 ? "byte " : "bytes ";
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t end = i;
        while (end + 1 < bytes.size() && bytes[end + 1] == bytes[end] + 1) ++end;
        if (i > 0) text += ", ";
        text += std::to_string(bytes[i]);
        if (end > i) text += " to " + std::to_string(bytes[end]);
        i = end + 1;
    }
    return text;
}

}  // namespace velmora
