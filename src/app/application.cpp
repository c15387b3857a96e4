#include "app/application.h"

#include <functional>

#include "image/composer.h"

namespace velmora::ui {

bool runUpdateDeviceStep(ConfigImage& image, const std::filesystem::path& projectDir,
                         MessageSink& messages) {
    return guarded(messages, [&] {
        ComposeConfigImage(image, projectDir);
        SaveConfigImage(image, projectDir);
    });
}

Application::Application(const std::filesystem::path& installationFolder, MessageSink& messages,
                         const std::filesystem::path& programFolder, PortAccess ports)
    : workspace(installationFolder, programFolder),
      FVelmoraFirmWare(workspace, messages),
      Fsaveproj(
          [this, &messages] { return new TFsaveproj(workspace, messages, &FVelmoraFirmWare); }),
      FAbout([this] { return new TFAbout(&FVelmoraFirmWare); }),
      Fpargen([this, &messages] {
          return new TFpargen([this] { return workspace.ParGenFile(); }, messages,
                              &FVelmoraFirmWare);
      }),
      FBootSer([this, &messages, ports = std::move(ports)] {
          return new TFBootSer(
              [this] {
                  return UpdatePlaces{workspace.programDir(), workspace.AppDir(),
                                      workspace.MasterDir(), workspace.ProjectDir()};
              },
              messages, &FVelmoraFirmWare, ports);
      }),
      FDNet([this, &messages] {
          return new TFDNet([this] { return workspace.DNetNetFile(); }, messages,
                            &FVelmoraFirmWare);
      }),
      FInfopdoMB([this, &messages] {
          return new TFInfopdoMB([this] { return workspace.DNetNetFile(); },
                                 [this] { return workspace.DefRegFile(); }, messages,
                                 &FVelmoraFirmWare);
      }) {
    FVelmoraFirmWare.setParts({
        .saveProject = std::ref(Fsaveproj),
        .about = std::ref(FAbout),
        .communication = std::ref(Fpargen),
        .network = std::ref(FDNet),
        .registerMap = std::ref(FInfopdoMB),
        .update = std::ref(FBootSer),
        .updateDevice =
            [this, &messages] {
                return runUpdateDeviceStep(image, workspace.ProjectDir(), messages);
            },
    });
}

}  // namespace velmora::ui
