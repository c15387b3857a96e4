#include "support/unprivileged.h"

#ifdef _WIN32

namespace velmora::test {

int runUnprivileged(const std::function<int()>& body) { return body(); }

}  // namespace velmora::test

#else

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <exception>

namespace velmora::test {

namespace {

struct Nobody {
    uid_t uid;
    gid_t gid;
};

Nobody nobody() {
    const passwd* entry = ::getpwnam("nobody");
    return {entry ? entry->pw_uid : 65534, entry ? entry->pw_gid : 65534};
}

void dropToNobody() {
    const auto [uid, gid] = nobody();
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(111);
}

std::string run(const std::function<std::string()>& body, bool unprivileged) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(pipeEnds[0]);
        if (unprivileged && ::geteuid() == 0) dropToNobody();
        std::string result;
        try {
            result = body();
        } catch (const std::exception& e) {
            result = std::string("exception: ") + e.what();
        }
        for (std::size_t done = 0; done < result.size();) {
            const ssize_t n = ::write(pipeEnds[1], result.data() + done, result.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);  // no exit handlers: they belong to the parent's test run
    }
    ::close(pipeEnds[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof(buffer))) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        result.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) != 0) return "exit status " + std::to_string(WEXITSTATUS(status));
    return result;
}

}  // namespace

void handToUnprivilegedUser(const std::filesystem::path& tree) {
    if (::geteuid() != 0) return;
    const auto [uid, gid] = nobody();
    (void)!::lchown(tree.c_str(), uid, gid);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        (void)!::lchown(entry.path().c_str(), uid, gid);
    }
}

int runUnprivileged(const std::function<int()>& body) {
    const std::string status = inUnprivilegedChild([&] { return std::to_string(body()); });
    int value = 125;
    const auto [end, error] = std::from_chars(status.data(), status.data() + status.size(), value);
    return error == std::errc() && end == status.data() + status.size() ? value : 125;
}

std::string inChild(const std::function<std::string()>& body) { return run(body, false); }

std::string inUnprivilegedChild(const std::function<std::string()>& body) {
    return run(body, true);
}

}  // namespace velmora::test

#endif
