#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/error.h"
#include "update/process_layer.h"
#include "update/updater_command.h"

namespace velmora {

// How long the updater is waited for; the product's limit (a test may pass a shorter one).
inline constexpr std::chrono::milliseconds kUpdaterWaitLimit{150'000};
// The pause between two looks at the updater.
inline constexpr std::chrono::milliseconds kUpdaterPollPause{10};

// The updater could not be started; what() names the program and the platform's reason, code()
// is the platform's code (errno on POSIX, GetLastError on Windows).
class StartError : public SystemError {
public:
    StartError(const std::filesystem::path& program, std::error_code code);
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
    // Starts `program` with `arguments` through `layer` (ProcessLayer::start tells how).
    // Throws StartError when it cannot be started.
    UpdaterProcess(const std::filesystem::path& program, const UpdaterArguments& arguments,
                   std::shared_ptr<ProcessLayer> layer = defaultProcessLayer());
    ~UpdaterProcess();
    UpdaterProcess(const UpdaterProcess&) = delete;
    UpdaterProcess& operator=(const UpdaterProcess&) = delete;

    // Whether it has ended; an ended updater is collected here, so it never lingers.
    bool ended();
    // Its process id.
    long long pid() const { return process_.pid; }

private:
    std::shared_ptr<ProcessLayer> layer_;
    ProcessLayer::Started process_;
    bool ended_ = false;
};

// Starts `program` with `arguments` as UpdaterProcess does, then looks every kUpdaterPollPause
// whether it has ended, until it has or `limit` has passed. At the limit the updater keeps running
// on its own: nothing kills it. Throws StartError when it cannot be started. It blocks and runs
// nothing else meanwhile; a window waits through UpdateWaitWindow, whose own timer looks instead.
WaitOutcome RunAndWait(const std::filesystem::path& program, const UpdaterArguments& arguments,
                       std::chrono::milliseconds limit = kUpdaterWaitLimit,
                       std::shared_ptr<ProcessLayer> layer = defaultProcessLayer());

}  // namespace velmora
