#pragma once

#include <QDialog>
#include <chrono>

#include "update/run_and_wait.h"

class QLabel;
class QProgressBar;

namespace velmora::ui {

// The small window in front of the application while the updater runs: which program runs and
// how many of the seconds it is given have passed. It is application-modal, so no other
// window takes input, and the user cannot close it: it goes when the wait ends.
class UpdateWaitWindow : public QDialog {
    Q_OBJECT

public:
    explicit UpdateWaitWindow(QWidget* parent = nullptr);

    // Shows the window for `updater` (its name) and waits, in an event loop of its own, until
    // the updater has ended or `limit` has passed, looking at it every kUpdaterPollPause from a
    // timer: a loop run on top of this one (a message box) does not hold the looks up, and an
    // ended updater is collected at once. Hides the window before it returns.
    WaitOutcome wait(UpdaterProcess& process, const QString& updater,
                     std::chrono::milliseconds limit = kUpdaterWaitLimit);
    // True while a wait runs: every command of the application is refused then.
    static bool waiting();

    // Shows the window for `updater` (its name) given `limit` in all.
    void begin(const QString& updater, std::chrono::milliseconds limit);
    // Shows `waited` in whole seconds.
    void setWaited(std::chrono::milliseconds waited);
    // Hides the window.
    void end();

    QLabel* Updater;
    QLabel* Elapsed;
    QProgressBar* Progress;

public slots:
    // Neither Escape nor the close box ends the wait: both come here.
    void reject() override {}

private:
    int limitSeconds_ = 0;
    int shownSeconds_ = -1;
};

}  // namespace velmora::ui
