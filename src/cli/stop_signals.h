#pragma once

#ifndef _WIN32
#include <csignal>
#endif

#include "cli/socket_io.h"

namespace velmora::cli {

// Turns a stop request into something the loops' wait wakes up for, while it lives: on POSIX,
// SIGINT and SIGTERM write to a pipe (and SIGPIPE is ignored); on Windows, Ctrl+C, Ctrl+Break and
// closing the console set an event. Restores the previous handling after.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable for io::waitFor once a stop has been asked for.
    io::Handle handle() const;

private:
#ifdef _WIN32
    io::Handle event_ = io::kNoHandle;
#else
    int fds_[2] = {-1, -1};
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    struct sigaction previousPipe_ {};
#endif
};

}  // namespace velmora::cli
