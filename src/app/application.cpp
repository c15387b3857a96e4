#include "app/application.h"

#include "app/update_device_step.h"

namespace velmora::ui {

Application::Application(const std::filesystem::path& installationFolder, MessageSink& messages,
                         const std::filesystem::path& programFolder, PortAccess ports)
    : workspace(installationFolder, programFolder),
      FVelmoraFirmWare(workspace, messages),
      Fsaveproj(workspace, messages, &FVelmoraFirmWare),
      FAbout(&FVelmoraFirmWare),
      Fpargen([this] { return workspace.ParGenFile(); }, messages, &FVelmoraFirmWare),
      FBootSer(
          [this] {
              return UpdatePlaces{workspace.ProgramDir(), workspace.AppDir(), workspace.MasterDir(),
                                  workspace.ProjectDir()};
          },
          messages, &FVelmoraFirmWare, std::move(ports)),
      FDNet([this] { return workspace.DNetNetFile(); }, messages, &FVelmoraFirmWare),
      FInfopdoMB([this] { return workspace.DNetNetFile(); },
                 [this] { return workspace.DefRegFile(); }, messages, &FVelmoraFirmWare) {
    FVelmoraFirmWare.setSaveProjectDialog(&Fsaveproj);
    FVelmoraFirmWare.setAboutDialog(&FAbout);
    FVelmoraFirmWare.setCommunicationDialog(&Fpargen);
    FVelmoraFirmWare.setNetworkDialog(&FDNet);
    FVelmoraFirmWare.setRegisterMapDialog(&FInfopdoMB);
    FVelmoraFirmWare.setUpdateDialog(&FBootSer);
    FVelmoraFirmWare.setUpdateDevice(
        [this, &messages] { return runUpdateDeviceStep(image, workspace.ProjectDir(), messages); });
}

}  // namespace velmora::ui
