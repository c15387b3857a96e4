#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/path_text.h"

namespace velmora {

// The main window's caption from start-up on.
inline constexpr std::string_view kStartupCaption =
    "Vostrel Velmora QS48203 DeviceNet-m / Modbus-s";
// The settings file beside the executable, its section and its key.
inline constexpr std::string_view kSettingsFileName = "Velmora_DNETM2MRTUs.ini";
inline constexpr std::string_view kSettingsSection = "lastproj";
inline constexpr std::string_view kSettingsKey = "projectname";
// The instruction of the folder browser that Open project shows.
inline constexpr std::string_view kOpenProjectTitle = "Select directory of project";

// The project caption: the start-up caption, " :" and `suffix` with no blank between.
std::string projectCaption(std::string_view suffix);

// What one press of OK in the New project dialog came to.
struct NewProjectOutcome {
    // The plain messages to show, in order.
    std::vector<std::string> messages;
    // True when the project folder was created and became the current project.
    bool created = false;
};

// Lets the user pick a folder below `root`, starting at `preselected` ("" for none);
// the confirmed folder, or nothing when the user cancelled.
using FolderChooser = std::function<std::optional<std::filesystem::path>(
    const std::filesystem::path& root, const std::filesystem::path& preselected)>;

// The installation folders, the current project and its document paths, the settings file
// that remembers the last project, New project and Open project, and the caption they set.
// Paths use the platform's separator; ProjectName uses it too ("\Plant1" or "/Plant1").
class Workspace {
public:
    // `installationFolder` holds MASTER, PROJECTS and the settings file (a temporary folder in
    // tests); `programFolder` is the executable's own folder, the installation folder when empty.
    explicit Workspace(std::filesystem::path installationFolder,
                       std::filesystem::path programFolder = {});

    const std::filesystem::path& AppDir() const { return appDir_; }
    // The executable's folder: AppDir, unless a read-only program folder moved AppDir to the
    // user's own folder. Companion programs are looked for here first.
    const std::filesystem::path& programDir() const { return programDir_; }
    const std::filesystem::path& MasterDir() const { return masterDir_; }
    const std::filesystem::path& ProjectsDir() const { return projectsDir_; }
    const std::string& ProjectName() const { return projectName_; }
    const std::filesystem::path& ProjectDir() const { return projectDir_; }
    const std::filesystem::path& ParGenFile() const { return parGenFile_; }
    const std::filesystem::path& DNetNetFile() const { return dNetNetFile_; }
    const std::filesystem::path& DefRegFile() const { return defRegFile_; }
    // The settings file, AppDir + "Velmora_DNETM2MRTUs.ini".
    std::filesystem::path settingsFile() const;
    // The main window's caption for the current state.
    const std::string& caption() const { return caption_; }

    // Creates MASTER and PROJECTS when missing (silently), restores the last project named by
    // the settings file when its folder exists below PROJECTS, sets the document paths and the
    // caption. A name whose folder is missing or outside PROJECTS is kept for the next close.
    void startUp();
    // Stores ProjectName in the settings file, keeping everything else in it.
    // Throws velmora::Error "Unable to write to <settings file>" when that fails.
    void Close();

    // Sets the three document paths from ProjectDir.
    void UpdateDocumentPaths();

    // The OK of the New project dialog for `name` typed inside `destination`: the messages to
    // show and, when all is well, the new folder with its "bin" made the current project.
    NewProjectOutcome createProject(const std::filesystem::path& destination,
                                    const std::string& name);
    // Ends New project: the caption shows the new ProjectName when the dialog was confirmed,
    // nothing after the colon when it was cancelled.
    void newProjectEnded(bool confirmed);

    // Open project: lets `choose` pick a folder, starting at ProjectDir when it exists; the
    // chosen folder (or the kept one when cancelled) becomes ProjectDir. ProjectName is its
    // path below ProjectsDir ("" for ProjectsDir itself and for a folder outside it).
    void openProject(const FolderChooser& choose);

private:
    std::filesystem::path appDir_;
    std::filesystem::path programDir_;
    std::filesystem::path masterDir_;
    std::filesystem::path projectsDir_;
    std::string projectName_;
    std::filesystem::path projectDir_;
    std::filesystem::path parGenFile_;
    std::filesystem::path dNetNetFile_;
    std::filesystem::path defRegFile_;
    std::string caption_{kStartupCaption};
};

}  // namespace velmora
