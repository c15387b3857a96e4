// Linked into a Qt Widgets program, reports the moment its first window is first painted and ends
// the program there: one line "first_paint_ns N" on standard output, N being the monotonic clock
// in nanoseconds, which the starting process compares with the moment it started the program.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!reported_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            reported_ = true;
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("first_paint_ns %lld\n",
                        static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            // After this paint has been drawn; closing no window, so nothing is saved.
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        return false;
    }

private:
    bool reported_ = false;
};

void installFirstPaintProbe() {
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new FirstPaintProbe(app));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installFirstPaintProbe)
