#pragma once

#include <filesystem>
#include <memory>

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "editors/dnet_dialog.h"
#include "editors/pargen_dialog.h"
#include "editors/register_map_dialog.h"
#include "image/config_image.h"
#include "update/update_dialog.h"
#include "workspace/save_project_dialog.h"
#include "workspace/workspace.h"

namespace velmora::ui {

// The composition root: the workspace, the configuration image and every window, each created
// once, in the order of start-up, and wired to the main window's buttons.
class Application {
public:
    // `installationFolder` holds MASTER, PROJECTS and the settings file; `programFolder` is the
    // executable's (the installation folder when empty). Creating the main window runs the
    // workspace start-up. `ports` reaches the serial ports of the update dialog (tests pass
    // substitutes).
    Application(const std::filesystem::path& installationFolder, MessageSink& messages,
                const std::filesystem::path& programFolder = {}, PortAccess ports = systemPorts());

    Workspace workspace;
    // The configuration image, living for the whole run.
    ConfigImage image;
    TFVelmoraFirmWare FVelmoraFirmWare;
    TFsaveproj Fsaveproj;
    TFAbout FAbout;
    TFpargen Fpargen;
    TFBootSer FBootSer;
    TFDNet FDNet;
    TFInfopdoMB FInfopdoMB;
};

}  // namespace velmora::ui
