#pragma once

#include <string_view>

// The names of the installation folder and of a project folder, each spelled once: the workspace,
// the composer, the project check and the update road all take them from here.
namespace velmora::project_layout {

// Beside the executable: the firmware folder and the folder of the projects.
inline constexpr std::string_view kMasterFolder = "MASTER";
inline constexpr std::string_view kProjectsFolder = "PROJECTS";
// The device firmware file in the MASTER folder, named on the updater's command line.
inline constexpr std::string_view kFirmwareFile = "sim48203.sim";

// The three documents of a project folder.
inline constexpr std::string_view kParGenFile = "pargen.xml";
inline constexpr std::string_view kDNetNetFile = "DNET_Net.xml";
inline constexpr std::string_view kDefRegFile = "DefReg.xml";
// The project's image folder and the configuration image in it.
inline constexpr std::string_view kBinFolder = "bin";
inline constexpr std::string_view kImageFile = "bank.bin";

}  // namespace velmora::project_layout
