#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "image/device_map.h"

namespace velmora::cli {

// The CSV columns, in order.
inline constexpr char kMapCsvHeader[] = "map,register,node,node_id,mnemonic,high_byte,low_byte";

// The register map as RFC 4180 CSV (CRLF line ends, UTF-8): the header, then the read map's rows
// and the write map's, each by register; `register` is the index plus `base`.
void writeMapCsv(const DeviceMap& map, std::int64_t base, std::ostream& out);

// What the printable page says about itself.
struct MapPage {
    std::string project;  // the project's name
    std::string date;     // the day it was made, as shown
    std::int64_t base = 0;
};

// One self-contained printable HTML page (A4): the settings in words, the node list, one table per
// map and a picture of each node's bytes with the register carrying each.
void writeMapHtml(const DeviceMap& map, const MapPage& page, std::ostream& out);

}  // namespace velmora::cli
