#include "support/unprivileged.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <exception>

namespace velmora::test {

int runUnprivileged(const std::function<int()>& body) {
#ifdef _WIN32
    return body();
#else
    constexpr uid_t kNobody = 65534;
    const pid_t child = ::fork();
    if (child < 0) return 125;
    if (child == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(125);
            }
        }
        int status = 125;
        try {
            status = body();
        } catch (const std::exception&) {
            status = 125;
        }
        ::_exit(status);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 125;
    return WEXITSTATUS(status);
#endif
}

}  // namespace velmora::test
