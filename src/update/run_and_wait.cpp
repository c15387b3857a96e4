#include "update/run_and_wait.h"

#include <thread>
#include <utility>

#include "core/path_text.h"

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

}  // namespace

StartError::StartError(const std::filesystem::path& program, std::error_code code)
    : SystemError(code, "The updater program " + pathText(program) +
                            " cannot be started: " + code.message()) {}

UpdaterProcess::UpdaterProcess(const std::filesystem::path& program,
                               const UpdaterArguments& arguments,
                               std::shared_ptr<ProcessLayer> layer)
    : layer_(std::move(layer)) {
    if (const std::error_code code = layer_->start(program, arguments, process_)) {
        throw StartError(program, code);
    }
}

UpdaterProcess::~UpdaterProcess() { layer_->release(process_.handle, ended_); }

bool UpdaterProcess::ended() {
    if (!ended_) ended_ = layer_->ended(process_.handle);
    return ended_;
}

WaitOutcome RunAndWait(const std::filesystem::path& program, const UpdaterArguments& arguments,
                       std::chrono::milliseconds limit, std::shared_ptr<ProcessLayer> layer) {
    UpdaterProcess child(program, arguments, std::move(layer));
    const Clock::time_point start = Clock::now();
    WaitOutcome outcome;
    outcome.pid = child.pid();
    for (;;) {
        if (child.ended()) {
            outcome.ended = true;
            break;
        }
        if (since(start) >= limit) break;
        std::this_thread::sleep_for(kUpdaterPollPause);
    }
    outcome.waited = since(start);
    return outcome;
}

}  // namespace velmora
