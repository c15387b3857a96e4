#include "cli/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora::cli {

namespace {

// The write end of the pipe the stop signals write to, so the wait wakes up.
int stopPipeWrite = -1;

extern "C" void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipeWrite, &byte, 1);
}

}  // namespace

StopSignals::StopSignals() {
    if (::pipe(fds_) != 0) throw Error("Cannot create a pipe: " + systemErrorText(errno));
    for (const int fd : fds_) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fds_[1], F_SETFL, O_NONBLOCK);
    stopPipeWrite = fds_[1];
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previousInt_);
    ::sigaction(SIGTERM, &action, &previousTerm_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previousPipe_);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &previousInt_, nullptr);
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    ::sigaction(SIGPIPE, &previousPipe_, nullptr);
    stopPipeWrite = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
}

io::Handle StopSignals::handle() const { return fds_[0]; }

}  // namespace velmora::cli
