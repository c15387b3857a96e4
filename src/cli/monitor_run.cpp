#include "cli/monitor_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/command_line.h"
#include "cli/monitor_screen.h"
#include "core/error.h"

namespace velmora::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// "0.5 s", "8.0 s"
std::string seconds(Clock::duration time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(time).count());
    return text;
}

// One run until stopped: the polls, the live table or the notices, the log.
class Run {
public:
    Run(Poller& poller, GatewayLink& link, const MonitorView& view, const RunSettings& settings,
        io::Handle stop, PollLog* log, std::ostream& err)
        : poller_(poller),
          link_(link),
          view_(view),
          settings_(settings),
          stop_(stop),
          log_(log),
          err_(err) {
        if (settings_.live) screen_.emplace();
    }

    void pollUntilStopped() {
        bool warned = false;
        for (;;) {
            const auto started = Clock::now();
            PollResult poll;
            try {
                poll = poller_.poll();
            } catch (const Error& e) {
                if (!connectAgain(e.what())) return;
                continue;
            }
            if (poller_.stopped()) return;
            if (poll.silent && !warned && !screen_) failure(err_, settings_.silenceWarning);
            warned = warned || poll.silent;
            if (log_) log_->write(view_, poll);
            if (screen_) {
                NodeByteValues bytes = pollNodeBytes(view_, poll);
                screen_->show(liveTable(view_, poll, previous_), statusLine(poller_.stats()));
                previous_ = std::move(bytes);
            }
            if (!waitUntil(started + settings_.interval)) return;
        }
    }

    // Gives the terminal back before the summary is printed.
    void endScreen() { screen_.reset(); }

private:
    // Waits until `until`; false when a stop signal or "q" came first.
    bool waitUntil(Clock::time_point until) {
        for (;;) {
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero()) return true;
            std::vector<io::Watch> watches{{stop_}};
            if (screen_) watches.push_back({STDIN_FILENO});
            io::waitFor(watches, std::chrono::duration_cast<milliseconds>(left) + milliseconds(1));
            if (watches[0].readable) return false;
            if (screen_ && watches[1].readable && screen_->keys()) return false;
        }
    }

    bool stopAsked() const {
        std::vector<io::Watch> watches{{stop_}};
        io::waitFor(watches, milliseconds(0));
        return watches[0].readable;
    }

    // Tells a change of the link on standard error, or in the live table's status line.
    void tell(const std::string& text) {
        if (screen_) {
            screen_->showStatus(text + " | " + statusLine(poller_.stats()));
        } else {
            failure(err_, text);
        }
    }

    // The link failed with `reason`: opens it again, pausing longer after each failed attempt;
    // false when the run was stopped first.
    bool connectAgain(std::string reason) {
        poller_.countLinkLoss();
        const auto lost = Clock::now();
        if (log_) log_->note("link lost: " + reason);
        milliseconds pause = settings_.firstRetryPause;
        std::string told;  // a reason repeated attempt after attempt is told once
        for (;;) {
            if (screen_ || reason != told) tell(reason + "; trying again in " + seconds(pause));
            told = reason;
            if (!waitUntil(Clock::now() + pause)) return false;
            try {
                link_.reopen();
            } catch (const Error& e) {
                // A stop signal cuts a connection attempt short: it is no reason to tell.
                if (stopAsked()) return false;
                reason = e.what();
                pause = std::min(pause * 2, settings_.longestRetryPause);
                continue;
            }
            const std::string back =
                (link_.target().tcpHost ? "connected again to " : "opened again: ") +
                link_.target().name() + " after " + seconds(Clock::now() - lost);
            tell(back);
            if (log_) log_->note(back);
            return true;
        }
    }

    Poller& poller_;
    GatewayLink& link_;
    const MonitorView& view_;
    const RunSettings& settings_;
    io::Handle stop_;
    PollLog* log_;
    std::ostream& err_;
    std::optional<LiveScreen> screen_;
    NodeByteValues previous_;
};

}  // namespace

PollLog::PollLog(std::string path, bool changesOnly)
    : path_(std::move(path)), changesOnly_(changesOnly) {
    out_.open(path_, std::ios::binary | std::ios::app);
    if (!out_) throw Error(path_ + ": " + systemErrorText(errno));
    out_.seekp(0, std::ios::end);
    if (out_.tellp() == 0) out_ << kMonitorCsvHeader << "\r\n";
}

void PollLog::write(const MonitorView& view, const PollResult& poll) {
    writePollCsv(view, poll, out_, changesOnly_ && written_ ? &*written_ : nullptr);
    if (changesOnly_) written_ = poll.values;
    flush();
}

void PollLog::note(const std::string& text) {
    writeCsvNote(std::chrono::system_clock::now(), text, out_);
    flush();
}

void PollLog::flush() {
    out_.flush();
    if (!out_) throw Error(path_ + ": the poll log cannot be written");
}

int pollUntilStopped(Poller& poller, GatewayLink& link, const MonitorView& view,
                     const RunSettings& settings, io::Handle stop, PollLog* log, std::ostream& out,
                     std::ostream& err) {
    Run run(poller, link, view, settings, stop, log, err);
    run.pollUntilStopped();
    run.endScreen();
    out << summaryText(poller.stats());
    return kExitOk;
}

}  // namespace velmora::cli
