#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "update/updater_command.h"

namespace velmora {

// How long the updater is waited for; the product's limit (a test may pass a shorter one).
inline constexpr std::chrono::milliseconds kUpdaterWaitLimit{150'000};
// The pause between two looks at the updater.
inline constexpr std::chrono::milliseconds kUpdaterPollPause{10};

// The updater could not be started; what() names the program and the platform's reason.
class StartError : public Error {
public:
    StartError(const std::filesystem::path& program, int code, const std::string& reason);
    // The platform's error code (errno on POSIX, GetLastError on Windows).
    int code() const { return code_; }

private:
    int code_;
};

// How a wait ended.
struct WaitOutcome {
    // The updater's process id.
    long long pid = 0;
    // True when the updater ended; false when the limit passed and it was left running.
    bool ended = false;
    // The time waited.
    std::chrono::milliseconds waited{0};
};

// A started updater, looked at without blocking; let go, not killed, when the object goes.
class UpdaterProcess {
public:
    // Starts `program` with `arguments` (on Windows as their one parameter line, handed over as
    // it stands; elsewhere as seven separate arguments, with standard input from /dev/null).
    // Throws StartError when it cannot be started.
    UpdaterProcess(const std::filesystem::path& program, const UpdaterArguments& arguments);
    ~UpdaterProcess();
    UpdaterProcess(const UpdaterProcess&) = delete;
    UpdaterProcess& operator=(const UpdaterProcess&) = delete;

    // Whether it has ended; an ended updater is collected here, so it never lingers.
    bool ended();
    // Its process id.
    long long pid() const { return pid_; }

private:
#ifdef _WIN32
    void* process_ = nullptr;  // the process handle
#else
    bool ended_ = false;
#endif
    long long pid_ = 0;
};

// Starts `program` with `arguments` as UpdaterProcess does, then looks every kUpdaterPollPause
// whether it has ended, until it has or `limit` has passed. At the limit the updater keeps running
// on its own: nothing kills it. Throws StartError when it cannot be started. It blocks and runs
// nothing else meanwhile; a window waits through UpdateWaitWindow, whose own timer looks instead.
WaitOutcome RunAndWait(const std::filesystem::path& program, const UpdaterArguments& arguments,
                       std::chrono::milliseconds limit = kUpdaterWaitLimit);

}  // namespace velmora
