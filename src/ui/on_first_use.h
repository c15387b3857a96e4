#pragma once

#include <QPointer>
#include <functional>
#include <utility>

namespace velmora::ui {

// A window made by its factory on the first call and the very same window on every later call,
// so that what it keeps between showings is kept. The factory gives the window a Qt parent,
// which owns it; this holder only finds it again and never deletes it.
template <class Window>
class OnFirstUse {
public:
    explicit OnFirstUse(std::function<Window*()> make) : make_(std::move(make)) {}
    OnFirstUse(const OnFirstUse&) = delete;
    OnFirstUse& operator=(const OnFirstUse&) = delete;

    // The window, made now when it does not exist yet.
    Window& operator()() {
        if (!window_) window_ = make_();
        return *window_;
    }
    // True once the window was made (and its owner has not deleted it).
    bool made() const { return !window_.isNull(); }

private:
    std::function<Window*()> make_;
    QPointer<Window> window_;
};

}  // namespace velmora::ui
