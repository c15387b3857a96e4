#pragma once

#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "cli/monitor_poll.h"
#include "cli/monitor_report.h"
#include "cli/socket_io.h"

namespace velmora::cli {

// The monitor's CSV log: the header once for a new or empty file, then rows appended and flushed
// poll by poll. With `changesOnly`, a register's row is written at the first poll and then only
// when its value changes (an unread register counts as the empty value).
class PollLog {
public:
    // Opens `path` for appending; throws Error "PATH: reason" when it cannot.
    PollLog(std::string path, bool changesOnly);

    void write(const MonitorView& view, const PollResult& poll);
    // An event of the run (the link lost or back) as a row of its own; see writeCsvNote.
    void note(const std::string& text);

private:
    void flush();

    std::string path_;
    std::ofstream out_;
    bool changesOnly_;
    std::optional<modbus::RegisterValues> written_;  // the values the log holds last
};

// How a run that polls until stopped goes.
struct RunSettings {
    std::chrono::milliseconds interval{500};
    bool live = false;  // the ncurses table on the terminal
    // Said once on standard error when the first poll hears nothing (not in the live table).
    std::string silenceWarning;
    // The pause before the first attempt to connect again after the link was lost, doubled after
    // each failed attempt up to the longest.
    std::chrono::milliseconds firstRetryPause{500};
    std::chrono::milliseconds longestRetryPause{8000};
};

// Polls until a stop signal (`stop` readable) or "q" in the live table, logging each poll to
// `log` when there is one. A lost connection or line is opened again with a growing pause in
// between, told on standard error (or the status line) and in the log, until it comes back or
// the run is stopped. Prints the summary on `out` at the end; returns the exit status.
int pollUntilStopped(Poller& poller, GatewayLink& link, const MonitorView& view,
                     const RunSettings& settings, io::Handle stop, PollLog* log, std::ostream& out,
                     std::ostream& err);

}  // namespace velmora::cli
