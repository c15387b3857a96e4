#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "update/process_layer.h"

extern char** environ;

namespace velmora {

namespace {

class PosixProcessLayer final : public ProcessLayer {
public:
    std::error_code start(const std::filesystem::path& program, const UpdaterArguments& arguments,
                          Started& started) override {
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
        if (code != 0) return {code, std::generic_category()};
        started = {pid, pid};
        return {};
    }

    // The wait status tells an ended process from a running one; the exit code plays no part.
    bool ended(Handle process) override {
        int status = 0;
        pid_t found = 0;
        do {
            found = waitpid(static_cast<pid_t>(process), &status, WNOHANG);
        } while (found == -1 && errno == EINTR);
        // -1 means it is no longer ours to wait for: it has ended.
        return found != 0;
    }

    void release(Handle process, bool ended) override {
        // Still running: a thread of its own collects it whenever it ends, so it never lingers
        // as a zombie; nothing waits for that thread.
        if (ended) return;
        const pid_t pid = static_cast<pid_t>(process);
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
};

}  // namespace

std::shared_ptr<ProcessLayer> defaultProcessLayer() {
    static const std::shared_ptr<ProcessLayer> layer = std::make_shared<PosixProcessLayer>();
    return layer;
}

}  // namespace velmora
