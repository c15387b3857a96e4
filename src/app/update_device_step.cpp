#include "app/update_device_step.h"

#include "image/composer.h"

namespace velmora::ui {

bool runUpdateDeviceStep(ConfigImage& image, const std::filesystem::path& projectDir,
                         MessageSink& messages) {
    return guarded(messages, [&] {
        ComposeConfigImage(image, projectDir);
        SaveConfigImage(image, projectDir);
    });
}

}  // namespace velmora::ui
