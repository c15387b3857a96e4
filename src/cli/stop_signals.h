#pragma once

#include <csignal>

namespace velmora::cli {

// Routes SIGINT and SIGTERM to a pipe while it lives, so that a wait on the pipe's read end wakes
// up when one arrives; ignores SIGPIPE. Restores the previous handlers after.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a stop signal has arrived.
    int fd() const { return fds_[0]; }

private:
    int fds_[2] = {-1, -1};
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    struct sigaction previousPipe_ {};
};

}  // namespace velmora::cli
