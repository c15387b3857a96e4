#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "documents/register_map.h"

namespace velmora {

// Which byte of a node's pair (bytes 1 and 2, 3 and 4, ...) a register holds in its low half.
// DeviceNet data is little-endian, so with the first byte low a 16-bit value of the node reads
// as the same number in the register.
enum class AutoMapByteOrder { FirstByteLow, FirstByteHigh };

// Whether an auto map keeps the registers already made (adding only the bytes that no register
// carries yet, at indexes not yet used) or starts each chosen map afresh.
enum class AutoMapMode { AddMissing, Replace };

struct AutoMapOptions {
    bool read = true;   // map the nodes' output bytes into the read map
    bool write = true;  // map the nodes' input bytes into the write map
    std::int32_t readStart = 0;
    std::int32_t writeStart = 0;
    AutoMapByteOrder order = AutoMapByteOrder::FirstByteLow;
    AutoMapMode mode = AutoMapMode::AddMissing;

    bool maps(MapSide side) const { return side == MapSide::Read ? read : write; }
    std::int32_t start(MapSide side) const {
        return side == MapSide::Read ? readStart : writeStart;
    }
};

// One register an auto map added.
struct AutoMappedRegister {
    MapSide side = MapSide::Read;
    int nrDNNode = 0;  // the node's position, from 1
    std::int32_t index = 0;
    PosCompChoices choices;
    bool operator==(const AutoMappedRegister&) const = default;
};

// Bytes of one node that found no free index up to 65535, in ascending order.
struct AutoMapOverflow {
    MapSide side = MapSide::Read;
    int nrDNNode = 0;
    std::vector<std::int32_t> bytes;
    bool operator==(const AutoMapOverflow&) const = default;
};

struct AutoMapResult {
    std::vector<AutoMappedRegister> added;  // read map first, node by node, by index
    std::vector<AutoMapOverflow> overflow;  // the same order
    std::size_t removed = 0;                // registers dropped by Replace
};

// The highest register index an auto map writes.
inline constexpr std::int32_t kHighestAutoMapIndex = 65535;

// Places the bytes of every node of `lists`, node by node in list order, two per register at the
// free indexes from each map's start: bytes 1 and 2 in one register, 3 and 4 in the next, an odd
// last byte beside "None". In AddMissing mode a byte that a register already carries in either
// half is left out (its pair partner then stands beside "None") and used indexes are skipped.
// A node without bytes gets no register. Indexes past 65535 are never used: the bytes left over
// are reported instead. Throws Error, changing nothing, when a start is outside 0..65535 or, in
// AddMissing mode, an existing register's PosComp is not an integer text.
AutoMapResult autoMap(DNNodeLists& lists, const AutoMapOptions& options);

// "bytes 3, 5 to 8": a list of byte numbers with runs joined.
std::string byteRunsText(const std::vector<std::int32_t>& bytes);

}  // namespace velmora
