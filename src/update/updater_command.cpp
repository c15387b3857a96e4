#include "update/updater_command.h"

#include "core/project_layout.h"

namespace velmora {

UpdaterArguments updaterArguments(const std::string& port, const UpdateOptions& options,
                                  const std::string& masterDir, const std::string& projectDir,
                                  char separator) {
    const auto word = [](bool chosen, const char* action) { return chosen ? action : "NO"; };
    return {port,
            word(options.firmware, "FW"),
            word(options.readFirmware, "FR"),
            word(options.project, "PW"),
            word(options.readProject, "PR"),
            masterDir + separator + std::string(project_layout::kFirmwareFile),
            projectDir + separator + std::string(project_layout::kBinFolder) + separator};
}

std::string updaterParameterLine(const UpdaterArguments& arguments) {
    std::string line;
    for (std::size_t i = 0; i < 5; ++i) line += arguments[i] + ' ';
    return line + '"' + arguments[5] + "\" \"" + arguments[6] + '"';
}

std::filesystem::path updaterProgram(const std::filesystem::path& dir) {
#ifdef _WIN32
    return dir / "Ser_48203_Update.exe";
#else
    return dir / "Ser_48203_Update";
#endif
}

std::filesystem::path findUpdater(const std::filesystem::path& programDir,
                                  const std::filesystem::path& appDir) {
    std::error_code ignored;
    std::filesystem::path besideExecutable = updaterProgram(programDir);
    if (std::filesystem::exists(besideExecutable, ignored)) return besideExecutable;
    const std::filesystem::path inInstallation = updaterProgram(appDir);
    return std::filesystem::exists(inInstallation, ignored) ? inInstallation : besideExecutable;
}

}  // namespace velmora
