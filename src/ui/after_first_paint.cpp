#include "ui/after_first_paint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace velmora::ui {

namespace {

// A child of the window, so it ends with it.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget& window, std::function<void()> then)
        : QObject(&window), then_(std::move(then)) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // After this paint has reached the screen, not in the middle of it.
            QTimer::singleShot(0, this, [this] {
                then_();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> then_;
};

}  // namespace

void afterFirstPaint(QWidget& window, std::function<void()> then) {
    new AfterFirstPaint(window, std::move(then));
}

}  // namespace velmora::ui
