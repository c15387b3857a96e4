#pragma once

#include "documents/devicenet_network.h"

// Element and attribute names of DefReg.xml, and the DeviceNet row attributes the map reads.
namespace velmora::register_map_format {

inline constexpr char kRoot[] = "InfoMod";
inline constexpr char kReadList[] = "Modbus_Read";
inline constexpr char kWriteList[] = "Modbus_Write";
inline constexpr char kRow[] = "row";
inline constexpr char kIndex[] = "Index";
inline constexpr char kNrDNNode[] = "NrDNNode";
inline constexpr char kPosComp[] = "PosComp";

// Attributes of a row of DNET_Net.xml, as the DeviceNet network document names them.
inline constexpr const char* kNodeId = kDNetAttributes[kDNetId].data();
inline constexpr const char* kNodeBytesIn = kDNetAttributes[kDNetBytesIn].data();
inline constexpr const char* kNodeBytesOut = kDNetAttributes[kDNetBytesOut].data();

}  // namespace velmora::register_map_format
