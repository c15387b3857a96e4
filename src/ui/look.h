#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QWidget;

namespace velmora::ui {

// The windows' background and text colours.
inline constexpr const char* kBackgroundColour = "#F8F7ED";
inline constexpr const char* kTextColour = "#333333";
// The colour of a step button while it is pressed.
inline constexpr const char* kPressedColour = "#FF8000";

// Verdana at `pointSize`, falling back to a common sans font where Verdana is missing.
QFont lookFont(int pointSize = 8, bool bold = false);

// Gives `window` the shared look: background, text colour, font, flat buttons highlighted
// under the pointer; `moreStyle` adds style-sheet rules of the window's own.
void applyLook(QWidget& window, const QString& moreStyle = QString());

// The icon `name` of the compiled-in set (new, open, communication, network, modbus, update,
// about, ok, cancel, refresh, next) at 16 and 32 pixels, its SVG parsed once for the run; a null
// icon for an unknown name.
QIcon lookIcon(const QString& name);

// The logo drawn at `size` x `size` pixels, its SVG parsed once for the run.
QPixmap logoPixmap(int size);

}  // namespace velmora::ui
