#pragma once

#include <filesystem>

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "editors/dnet_dialog.h"
#include "editors/pargen_dialog.h"
#include "editors/register_map_dialog.h"
#include "image/config_image.h"
#include "ui/messages.h"
#include "ui/on_first_use.h"
#include "update/update_dialog.h"
#include "workspace/save_project_dialog.h"
#include "workspace/workspace.h"

namespace velmora::ui {

// The first half of "Update Device": composes `image` from the documents of `projectDir` and
// writes bin/bank.bin. Any failure (an empty project folder included, as "Project not valid")
// is shown by the report of unexpected failures. Returns true only when the image was written,
// the one case in which the update dialog may open.
bool runUpdateDeviceStep(ConfigImage& image, const std::filesystem::path& projectDir,
                         MessageSink& messages);

// The composition root: the workspace, the configuration image, the main window and every
// dialog, wired to the main window's buttons. The main window is made at once; each dialog on
// its first use, as a child of the main window, which owns it, and is then reused for the rest
// of the run, so it keeps what it keeps between showings.
class Application {
public:
    // `installationFolder` holds MASTER, PROJECTS and the settings file; `programFolder` is the
    // executable's (the installation folder when empty). Creating the main window runs the
    // workspace start-up. `ports` reaches the serial ports of the update dialog (tests pass
    // substitutes).
    Application(const std::filesystem::path& installationFolder, MessageSink& messages,
                const std::filesystem::path& programFolder = {}, PortAccess ports = systemPorts());
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    Workspace workspace;
    // The configuration image, living for the whole run.
    ConfigImage image;
    TFVelmoraFirmWare FVelmoraFirmWare;
    OnFirstUse<TFsaveproj> Fsaveproj;
    OnFirstUse<TFAbout> FAbout;
    OnFirstUse<TFpargen> Fpargen;
    OnFirstUse<TFBootSer> FBootSer;
    OnFirstUse<TFDNet> FDNet;
    OnFirstUse<TFInfopdoMB> FInfopdoMB;
};

}  // namespace velmora::ui
