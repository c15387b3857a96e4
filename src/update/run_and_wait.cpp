#include "update/run_and_wait.h"

#include <system_error>
#include <thread>
#include <vector>

#include "core/atomic_file.h"
#include "core/path_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <csignal>
extern char** environ;
#endif

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

}  // namespace

#ifdef _WIN32
UpdaterProcess::UpdaterProcess(const std::filesystem::path& program,
                               const UpdaterArguments& arguments) {
    const std::wstring file = program.wstring();
    const std::string line = updaterParameterLine(arguments);
    std::wstring wideLine(static_cast<std::size_t>(MultiByteToWideChar(
                              CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0)),
                          L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wideLine.data(),
                        static_cast<int>(wideLine.size()));
    // The program's own name comes first, as a shell would put it; the parameter line
    // follows exactly as it stands.
    std::wstring commandLine = L"\"" + file + L"\" " + wideLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        // A Win32 code: the C library's errno texts would misname it (5, access denied,
        // reads as an input/output error there).
        const int code = static_cast<int>(GetLastError());
        throw StartError(program, code, std::system_category().message(code));
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
}

// The handle only: the process goes on.
UpdaterProcess::~UpdaterProcess() { CloseHandle(static_cast<HANDLE>(process_)); }

// The process object tells its end; an exit code never stands for "still running".
bool UpdaterProcess::ended() {
    return WaitForSingleObject(static_cast<HANDLE>(process_), 0) == WAIT_OBJECT_0;
}
#else
UpdaterProcess::UpdaterProcess(const std::filesystem::path& program,
                               const UpdaterArguments& arguments) {
    std::string file = program.string();
    std::vector<char*> argv{file.data()};
    std::vector<std::string> copies(arguments.begin(), arguments.end());
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so that a signal meant for Velmora's group (an interrupt
    // typed at the terminal that started it) does not stop the transfer; default signal
    // handling and no blocked signal, whatever the user interface set for itself.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    // Standard input from /dev/null: an updater that reads it would otherwise be stopped by
    // the terminal Velmora was started from, being outside its foreground group; standard
    // output and error stay Velmora's.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int code = posix_spawn(&pid, file.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (code != 0) throw StartError(program, code, systemErrorText(code));
    pid_ = pid;
}

UpdaterProcess::~UpdaterProcess() {
    // Still running: a thread of its own collects it whenever it ends, so it never lingers
    // as a zombie; nothing waits for that thread.
    if (ended_) return;
    const pid_t pid = static_cast<pid_t>(pid_);
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: it stays a zombie once ended, which harms nothing else.
    }
}

// The wait status tells an ended process from a running one; the exit code plays no part.
bool UpdaterProcess::ended() {
    int status = 0;
    pid_t found = 0;
    do {
        found = waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
    } while (found == -1 && errno == EINTR);
    // -1 means it is no longer ours to wait for: it has ended.
    ended_ = found != 0;
    return ended_;
}
#endif

StartError::StartError(const std::filesystem::path& program, int code, const std::string& reason)
    : Error("The updater program " + pathText(program) + " cannot be started: " + reason),
      code_(code) {}

WaitOutcome RunAndWait(const std::filesystem::path& program, const UpdaterArguments& arguments,
                       std::chrono::milliseconds limit) {
    UpdaterProcess child(program, arguments);
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
