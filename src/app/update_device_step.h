#pragma once

#include <filesystem>

#include "ui/messages.h"
#include "image/config_image.h"

namespace velmora::ui {

// The first half of "Update Device": composes `image` from the documents of `projectDir` and
// writes bin/bank.bin. Any failure (an empty project folder included, as "Project not valid")
// is shown by the report of unexpected failures. Returns true only when the image was written,
// the one case in which the update dialog may open.
bool runUpdateDeviceStep(ConfigImage& image, const std::filesystem::path& projectDir,
                         MessageSink& messages);

}  // namespace velmora::ui
