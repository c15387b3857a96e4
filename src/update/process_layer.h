#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <system_error>

#include "update/updater_command.h"

namespace velmora {

// The operating system's calls that start the updater and look at it, so that a substitute can
// stand in for them. Calls never throw; failures carry the platform's code.
class ProcessLayer {
public:
    // A started process: its process handle on Windows, its process id on POSIX.
    using Handle = std::intptr_t;

    // What a start gives back.
    struct Started {
        Handle handle = 0;
        long long pid = 0;
    };

    virtual ~ProcessLayer() = default;
    // Starts `program` with `arguments` (on Windows as their one parameter line, handed over as
    // it stands; elsewhere as seven separate arguments, with standard input from /dev/null) and
    // fills `started`. Returns the platform's code of a failure (an errno value in the generic
    // category, a Win32 code in the system category), or no code.
    virtual std::error_code start(const std::filesystem::path& program,
                                  const UpdaterArguments& arguments, Started& started) = 0;
    // Whether `process` has ended; an ended process is collected here, so it never lingers.
    virtual bool ended(Handle process) = 0;
    // Lets go of `process`, which `ended` last found ended or not; a running one is not killed.
    virtual void release(Handle process, bool ended) = 0;
};

// The process layer of the platform the program runs on (POSIX spawn or Win32).
std::shared_ptr<ProcessLayer> defaultProcessLayer();

}  // namespace velmora
