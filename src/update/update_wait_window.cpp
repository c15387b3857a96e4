#include "update/update_wait_window.h"

#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "ui/look.h"

namespace velmora::ui {

namespace {

int runningWaits = 0;

}  // namespace

UpdateWaitWindow::UpdateWaitWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("UpdateWait"));
    setWindowTitle(QStringLiteral("Updating the device"));
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(300, 96);
    applyLook(*this);

    Updater = new QLabel(this);
    Updater->setTextFormat(Qt::PlainText);
    Updater->setGeometry(12, 10, 276, 18);
    Elapsed = new QLabel(this);
    Elapsed->setTextFormat(Qt::PlainText);
    Elapsed->setGeometry(12, 34, 276, 18);
    Progress = new QProgressBar(this);
    Progress->setTextVisible(false);
    Progress->setGeometry(12, 60, 276, 18);
    Progress->setAccessibleName(QStringLiteral("Time waited"));
}

void UpdateWaitWindow::begin(const QString& updater, std::chrono::milliseconds limit) {
    limitSeconds_ = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(limit).count());
    Updater->setText(QStringLiteral("Waiting for %1 to end.").arg(updater));
    Progress->setRange(0, limitSeconds_);
    shownSeconds_ = -1;
    setWaited(std::chrono::milliseconds(0));
    centreOnScreen(*this);
    show();
    raise();
}

void UpdateWaitWindow::setWaited(std::chrono::milliseconds waited) {
    const int seconds = static_cast<int>(std::chrono::floor<std::chrono::seconds>(waited).count());
    if (seconds == shownSeconds_) return;
    shownSeconds_ = seconds;
    Elapsed->setText(QStringLiteral("%1 of %2 seconds").arg(seconds).arg(limitSeconds_));
    Progress->setValue(seconds);
}

void UpdateWaitWindow::end() { hide(); }

bool UpdateWaitWindow::waiting() { return runningWaits > 0; }

WaitOutcome UpdateWaitWindow::wait(UpdaterProcess& process, const QString& updater,
                                   std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto waited = [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    };
    WaitOutcome outcome;
    outcome.pid = process.pid();
    // The wait is over as soon as it is decided, not when this call returns: a loop run on top
    // of this one (a message box) may hold the return up, and commands are taken again meanwhile.
    struct EndOfWait {
        UpdateWaitWindow& window;
        bool running = true;
        void operator()() {
            if (!running) return;
            running = false;
            --runningWaits;
            window.end();
        }
        ~EndOfWait() { (*this)(); }
    } endOfWait{*this};
    ++runningWaits;
    begin(updater, limit);

    QEventLoop loop;
    QTimer poll;
    poll.setInterval(static_cast<int>(kUpdaterPollPause.count()));
    bool over = false;
    const auto look = [&] {
        if (over) return;
        if (process.ended()) {
            outcome.ended = true;
        } else if (waited() < limit) {
            setWaited(waited());
            return;
        }
        over = true;
        outcome.waited = waited();
        poll.stop();
        endOfWait();
        loop.quit();
    };
    connect(&poll, &QTimer::timeout, &loop, look);
    look();
    if (!over) {
        poll.start();
        loop.exec();
    }
    return outcome;
}

}  // namespace velmora::ui
