// Programs of this suite as child processes, and the files they write, for the tests that drive
// velmora-cli simulate and monitor from outside.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The content of `file`, or "" while it does not exist.
inline std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// How often `text` stands in `file`.
inline std::size_t countIn(const fs::path& file, const std::string& text) {
    const std::string content = contentOf(file);
    std::size_t count = 0;
    for (auto at = content.find(text); at != std::string::npos; at = content.find(text, at + 1))
        ++count;
    return count;
}

// Waits up to 10 s for `file` to contain `text` (at least `times` times).
inline bool waitForText(const fs::path& file, const std::string& text, std::size_t times = 1) {
    for (int i = 0; i < 200; ++i) {
        if (countIn(file, text) >= times) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// A child process with its standard output on a pipe and its standard error in a file.
class Child {
public:
    Child(const std::vector<std::string>& argv, const fs::path& errFile) {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, STDERR_FILENO);
            ::close(fds[0]);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line of standard output (without its end), waiting up to 10 s; "" at its end.
    std::string line() {
        std::string text;
        char c = 0;
        while (true) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0 || ::read(out_, &c, 1) != 1 || c == '\n') return text;
            text += c;
        }
    }
    // Sends `signal` and returns the exit status, or -1 when it did not exit normally.
    int stop(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Resident memory in kB, from /proc.
    long residentKb() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string key;
        long value = -1;
        while (status >> key) {
            if (key == "VmRSS:") {
                status >> value;
                break;
            }
        }
        return value;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Pseudo-terminal pair made by socat: one end for the simulator, one for the master.
class LinePair {
public:
    explicit LinePair(const fs::path& dir)
        : simulatorEnd(dir / "gateway"),
          masterEnd(dir / "master"),
          socat_({"socat", "pty,raw,echo=0,link=" + simulatorEnd.string(),
                  "pty,raw,echo=0,link=" + masterEnd.string()},
                 dir / "socat.txt") {
        for (int i = 0; i < 200 && !(fs::exists(simulatorEnd) && fs::exists(masterEnd)); ++i) {
            std::this_thread::sleep_for(25ms);
        }
    }
    const fs::path simulatorEnd;
    const fs::path masterEnd;

private:
    Child socat_;
};

}  // namespace velmora::test
