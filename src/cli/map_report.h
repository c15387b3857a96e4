#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "image/device_map.h"

namespace velmora::cli {

// The CSV columns, in order.
inline constexpr char kMapCsvHeader[] = "map,register,node,node_id,mnemonic,high_byte,low_byte";

// The register map as RFC 4180 CSV (CRLF line ends, UTF-8): the header, then the read map's rows
// and the write map's, each by register; `register` is the index plus `base`.
void writeMapCsv(const DeviceMap& map, std::int64_t base, std::ostream& out);

// A register index that one map holds more than once.
struct RepeatedIndex {
    MapSide side = MapSide::Read;
    std::uint16_t index = 0;
    std::size_t times = 0;
};

// Every index held more than once, read map first, by index.
std::vector<RepeatedIndex> repeatedIndexes(const DeviceMap& map);

// "register 7 stands 3 times in the read map", the register numbered with `base` added.
std::string repeatedIndexText(const RepeatedIndex& repeated, std::int64_t base);

// What the printable page says about itself.
struct MapPage {
    std::string project;  // the project's name
    std::string date;     // the day it was made, as shown beside the image's fingerprint
    std::int64_t base = 0;
};

// One self-contained printable HTML page (A4): the image's fingerprint and date, the gateway's
// Modbus ID, the settings in words, the node list, one table per map with its function codes
// (rows dropped from the image and repeated indexes marked) and a table of each node's bytes with
// the registers carrying each; a table running on to another page repeats its heading there.
void writeMapHtml(const DeviceMap& map, const MapPage& page, std::ostream& out);

}  // namespace velmora::cli
