#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "update/updater_command.h"

// The test target defines VELMORA_TEST_UPDATER as the path of the stand-in updater it was
// built with (tests/update/test_updater.cpp).

namespace velmora::test {

// Places the stand-in updater in `appDir` under the updater's own name; returns its path.
inline std::filesystem::path installTestUpdater(const std::filesystem::path& appDir) {
    const std::filesystem::path program = updaterProgram(appDir);
    std::filesystem::copy_file(VELMORA_TEST_UPDATER, program,
                               std::filesystem::copy_options::overwrite_existing);
    return program;
}

// The arguments the stand-in at `program` received in its last run.
inline std::vector<std::string> recordedArguments(const std::filesystem::path& program) {
    std::istringstream lines(readText(program.string() + ".args"));
    std::vector<std::string> arguments;
    for (std::string line; std::getline(lines, line);) arguments.push_back(line);
    return arguments;
}

// How often the stand-in at `program` was started.
inline int recordedRuns(const std::filesystem::path& program) {
    const std::filesystem::path runs = program.string() + ".runs";
    if (!std::filesystem::exists(runs)) return 0;
    const std::string text = readText(runs);
    return static_cast<int>(text.size() / 4);  // "run\n" per run
}

// Sets an environment variable for the lifetime of the object; the stand-in reads it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
#ifdef _WIN32
        _putenv_s(name, value.c_str());
#else
        setenv(name, value.c_str(), 1);
#endif
    }
#ifdef _WIN32
    ~ScopedEnv() { _putenv_s(name_, ""); }  // an empty value removes the variable
#else
    ~ScopedEnv() { unsetenv(name_); }
#endif
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
};

}  // namespace velmora::test
