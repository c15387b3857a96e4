#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Reads one environment variable; nothing when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The process's own environment.
std::optional<std::string> processEnvironment(std::string_view name);

// True when this user may create files in `folder` (a read-only mount or a folder without
// write permission for this user answers false).
bool mayWriteFolder(const std::filesystem::path& folder);

// The per-user home of MASTER, PROJECTS and the settings file: $XDG_DATA_HOME/velmora, by
// default ~/.local/share/velmora (%LOCALAPPDATA%\Velmora on Windows); nothing when neither
// variable names an absolute folder.
std::optional<std::filesystem::path> perUserFolder(const EnvironmentLookup& environment);

// The installation folder for a program in `programFolder`: that folder when this user may
// write there (the portable layout), otherwise the per-user folder, created when missing.
// A per-user folder that cannot be had leaves the program's folder.
std::filesystem::path chooseInstallationFolder(
    const std::filesystem::path& programFolder,
    const EnvironmentLookup& environment = processEnvironment);

}  // namespace velmora
