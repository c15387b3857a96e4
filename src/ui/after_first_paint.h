#pragma once

#include <functional>

class QWidget;

namespace velmora::ui {

// Runs `then` once, from the event loop, after `window` was painted for the first time: work
// that the window does not need in order to show (the windows' icon, for one) waits until the
// user sees it. Nothing runs if the window is destroyed before its first paint.
void afterFirstPaint(QWidget& window, std::function<void()> then);

}  // namespace velmora::ui
