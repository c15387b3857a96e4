#include "app/application.h"

#include "app/update_device_step.h"

namespace velmora::ui {

Application::Application(const std::filesystem::path& installationFolder, MessageSink& messages,
                         const std::filesystem::path& programFolder)
    : workspace(installationFolder, programFolder),
      FVelmoraFirmWare(workspace, messages),
      Fsaveproj(workspace, messages, &FVelmoraFirmWare),
      FAbout(&FVelmoraFirmWare),
      Fpargen([this] { return workspace.ParGenFile(); }, messages, &FVelmoraFirmWare),
      FDNet([this] { return workspace.DNetNetFile(); }, messages, &FVelmoraFirmWare),
      FInfopdoMB([this] { return workspace.DNetNetFile(); },
                 [this] { return workspace.DefRegFile(); }, messages, &FVelmoraFirmWare) {
    FVelmoraFirmWare.setSaveProjectDialog(&Fsaveproj);
    FVelmoraFirmWare.setAboutDialog(&FAbout);
    FVelmoraFirmWare.setCommunicationDialog(&Fpargen);
    FVelmoraFirmWare.setNetworkDialog(&FDNet);
    FVelmoraFirmWare.setRegisterMapDialog(&FInfopdoMB);
    // The update dialog opens after a written image once it exists; until then the step ends
    // with the image written.
    FVelmoraFirmWare.setUpdateDevice(
        [this, &messages] { runUpdateDeviceStep(image, workspace.ProjectDir(), messages); });
}

}  // namespace velmora::ui
