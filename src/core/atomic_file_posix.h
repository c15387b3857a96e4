#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <ostream>

namespace velmora {

// The POSIX calls an atomic save makes, one per step. This class makes the real calls; a test
// derives from it and overrides the step it wants to fail. Each returns 0 or the errno value of
// its failure and never throws.
class PosixFileCalls {
public:
    virtual ~PosixFileCalls() = default;
    // lstat(2): the status of `path` itself, a link not followed.
    virtual int lstat(const std::filesystem::path& path, struct stat& status);
    // realpath(3): the file `path` finally leads to.
    virtual int realpath(const std::filesystem::path& path, std::filesystem::path& resolved);
    // stat(2).
    virtual int stat(const std::filesystem::path& path, struct stat& status);
    // open(2); `fd` is -1 on failure.
    virtual int open(const std::filesystem::path& path, int flags, mode_t mode, int& fd);
    // close(2).
    virtual int close(int fd);
    // Whether an unnamed file can be linked in later, which goes through /proc/self/fd.
    virtual bool canLinkUnnamed();
    // linkat(2) of the unnamed open file `fd` under `name`.
    virtual int linkat(int fd, const std::filesystem::path& name);
    // rename(2).
    virtual int rename(const std::filesystem::path& from, const std::filesystem::path& to);
    // unlink(2).
    virtual int unlink(const std::filesystem::path& path);
    // write(2) of up to `size` bytes; `written` tells how many went.
    virtual int write(int fd, const char* data, std::size_t size, std::size_t& written);
    // fsync(2).
    virtual int fsync(int fd);
    // fchown(2).
    virtual int fchown(int fd, uid_t owner, gid_t group);
    // fchmod(2).
    virtual int fchmod(int fd, mode_t mode);
};

// The real calls, as writeFileAtomically makes them.
PosixFileCalls& defaultFileCalls();

// writeFileAtomically (core/atomic_file.h) making its system calls through `calls`.
void writeFileAtomically(const std::filesystem::path& target,
                         const std::function<void(std::ostream&)>& produce, PosixFileCalls& calls);

}  // namespace velmora
