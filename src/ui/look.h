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
// A button under the pointer: its background and border; the border also marks the focus.
inline constexpr const char* kHoverColour = "#ECE9D2";
inline constexpr const char* kHoverBorderColour = "#C9C4A3";

// Verdana at `pointSize`, falling back to a common sans font where Verdana is missing.
QFont lookFont(int pointSize = 8, bool bold = false);

// Gives `window` the shared look: background, text colour, font, flat buttons highlighted
// under the pointer, a selection that reads the same whether or not its list has the focus. A
// button with the property "step" set is a step of the main window: its text to the left, orange
// while pressed. Drawn by the application's style, which the first call installs: no style sheet,
// whose restyling of every widget would slow each first showing.
void applyLook(QWidget& window);

// Moves `window` so that it stands in the middle of its screen's available area.
void centreOnScreen(QWidget& window);

// The icon `name` of the compiled-in set (new, open, communication, network, modbus, update,
// about, ok, cancel, refresh, next), drawn at the sizes windows ask for when they paint it (from
// its SVG, parsed once for the run on that first use; in the Windows build from the PNG images
// rendered from that SVG); a null icon for an unknown name.
QIcon lookIcon(const QString& name);

// The logo drawn at `size` x `size` pixels, from the same source as the icons.
QPixmap logoPixmap(int size);

}  // namespace velmora::ui
