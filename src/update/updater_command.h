#pragma once

#include <array>
#include <filesystem>
#include <string>

namespace velmora {

// What the updater shall do: each choice sets its own word of the command line.
struct UpdateOptions {
    bool firmware = true;
    bool readFirmware = true;
    bool project = true;
    bool readProject = true;
};

// The updater's seven arguments, without quotes: the port, the four action words ("FW", "FR",
// "PW", "PR", or "NO" each), the firmware file and the project's image folder (ending in the
// separator).
using UpdaterArguments = std::array<std::string, 7>;

// The platform's path separator, as it appears in the command line.
inline constexpr char kPathSeparator =
    static_cast<char>(std::filesystem::path::preferred_separator);

// The arguments for `port` and `options`; `masterDir` and `projectDir` are the folders as text,
// joined to "sim48203.sim" and "bin" with `separator`.
UpdaterArguments updaterArguments(const std::string& port, const UpdateOptions& options,
                                  const std::string& masterDir, const std::string& projectDir,
                                  char separator = kPathSeparator);

// The single parameter line: the port and the four words, each followed by one blank, then the
// two paths in double quotes separated by one blank; nothing after the closing quote.
std::string updaterParameterLine(const UpdaterArguments& arguments);

// The updater program in the folder `dir`.
std::filesystem::path updaterProgram(const std::filesystem::path& dir);

// The updater to start: the one beside the executable in `programDir`, else the one in the
// installation folder `appDir`; when neither is there, the one beside the executable.
std::filesystem::path findUpdater(const std::filesystem::path& programDir,
                                  const std::filesystem::path& appDir);

}  // namespace velmora
