#pragma once

namespace velmora::comm_settings_format {

// Element names of pargen.xml that no list names: the root and the two typed IDs. Each list
// names its own element (comm_lists.h).
inline constexpr const char* kRoot = "Par_Gen";
inline constexpr const char* kDnetDeviceId = "DNET_DEV_ID";
inline constexpr const char* kSerialDeviceId = "Ser_ID";

}  // namespace velmora::comm_settings_format
