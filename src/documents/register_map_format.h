#pragma once

// Element and attribute names of DefReg.xml, and the DeviceNet row attributes the map reads.
namespace velmora::register_map_format {

inline constexpr char kRoot[] = "InfoMod";
inline constexpr char kReadList[] = "Modbus_Read";
inline constexpr char kWriteList[] = "Modbus_Write";
inline constexpr char kRow[] = "row";
inline constexpr char kIndex[] = "Index";
inline constexpr char kNrDNNode[] = "NrDNNode";
inline constexpr char kPosComp[] = "PosComp";

// Attributes of a row of DNET_Net.xml.
inline constexpr char kNodeId[] = "ID";
inline constexpr char kNodeBytesIn[] = "NB_IN";
inline constexpr char kNodeBytesOut[] = "NB_OUT";

}  // namespace velmora::register_map_format
