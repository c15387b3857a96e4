#pragma once

#include <QString>
#include <filesystem>

#include "core/path_text.h"

namespace velmora::ui {

// A path as text for a widget, with the platform's separators.
inline QString toQString(const std::filesystem::path& path) {
    return QString::fromStdString(pathText(path));
}

// The path named by a widget's text.
inline std::filesystem::path toPath(const QString& text) {
    return pathFromText(text.toStdString());
}

}  // namespace velmora::ui
