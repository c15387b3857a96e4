#include "core/atomic_file_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"

namespace fs = std::filesystem;

namespace velmora {

int PosixFileCalls::lstat(const fs::path& path, struct stat& status) {
    return ::lstat(path.c_str(), &status) == 0 ? 0 : errno;
}

int PosixFileCalls::realpath(const fs::path& path, fs::path& resolved) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return errno;
    resolved = real;
    std::free(real);
    return 0;
}

int PosixFileCalls::stat(const fs::path& path, struct stat& status) {
    return ::stat(path.c_str(), &status) == 0 ? 0 : errno;
}

int PosixFileCalls::open(const fs::path& path, int flags, mode_t mode, int& fd) {
    fd = ::open(path.c_str(), flags, mode);
    return fd >= 0 ? 0 : errno;
}

int PosixFileCalls::close(int fd) { return ::close(fd) == 0 ? 0 : errno; }

bool PosixFileCalls::canLinkUnnamed() { return ::access("/proc/self/fd", X_OK) == 0; }

int PosixFileCalls::linkat(int fd, const fs::path& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                            : errno;
}

int PosixFileCalls::rename(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixFileCalls::unlink(const fs::path& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int PosixFileCalls::write(int fd, const char* data, std::size_t size, std::size_t& written) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) return errno;
    written = static_cast<std::size_t>(n);
    return 0;
}

int PosixFileCalls::fsync(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int PosixFileCalls::fchown(int fd, uid_t owner, gid_t group) {
    return ::fchown(fd, owner, group) == 0 ? 0 : errno;
}

int PosixFileCalls::fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode) == 0 ? 0 : errno; }

PosixFileCalls& defaultFileCalls() {
    static PosixFileCalls calls;
    return calls;
}

namespace {

[[noreturn]] void fail(int code, const fs::path& target) {
    throw SystemError(std::error_code(code, std::generic_category()),
                      systemErrorText(code) + ": " + pathText(target));
}

// Where the new content goes: the target itself or, for a link, the file it finally leads to.
struct Destination {
    fs::path path;
    bool exists = false;
    struct stat status {};
};

Destination destinationOf(const fs::path& target, PosixFileCalls& calls) {
    Destination dest{target};
    struct stat link {};
    if (const int code = calls.lstat(target, link); code != 0) {
        if (code == ENOENT) return dest;
        fail(code, target);
    }
    if (S_ISLNK(link.st_mode)) {
        // Replacing the link itself would leave the file it leads to stale.
        if (const int code = calls.realpath(target, dest.path); code != 0) {
            if (code == ENOENT) {
                throw SystemError(std::error_code(ENOENT, std::generic_category()),
                                  "The link leads to no file: " + target.string());
            }
            fail(code, target);
        }
    }
    if (const int code = calls.stat(dest.path, dest.status); code != 0) fail(code, target);
    dest.exists = true;
    if (S_ISDIR(dest.status.st_mode)) fail(EISDIR, target);
    // A device, a pipe or a socket is never swapped for a plain file (think of /dev/null).
    if (!S_ISREG(dest.status.st_mode)) throw Error("Not a regular file: " + target.string());
    // A file without write permission is read-only for everyone here, even for root,
    // so the rename does not quietly replace a file the user protected.
    if ((dest.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) fail(EACCES, target);
    // The rename needs only the folder's permission; the file's own is asked for here, so that
    // a file this user may not write is refused as an in-place write would refuse it.
    int probe = -1;
    if (const int code =
            calls.open(dest.path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0, probe);
        code != 0) {
        fail(code, target);
    }
    calls.close(probe);
    return dest;
}

// A hidden name beside `file` that says what it is: ".bank.bin.velmora-k3x9qa".
fs::path temporaryName(const fs::path& file) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
    std::string name = "." + file.filename().string() + ".velmora-";
    for (int i = 0; i < 6; ++i) name += kLetters[pick(random)];
    return file.parent_path() / name;
}

// The temporary file of one save: unnamed where the system offers it, so that a crash leaves
// nothing behind; otherwise under a hidden name, removed again on every failure.
class TemporaryFile {
public:
    // `target` is the path the user named, for messages; `destination` the file replaced.
    TemporaryFile(const fs::path& destination, const fs::path& target, PosixFileCalls& calls)
        : calls_(calls), destination_(destination) {
        const fs::path folder =
            destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
#ifdef O_TMPFILE
        // Linking it in later goes through /proc; without /proc the file is named from the start.
        if (calls_.canLinkUnnamed() &&
            calls_.open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666, fd_) == 0) {
            return;
        }
#endif
        int code = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = temporaryName(destination);
            // 0666 here lets the umask decide the mode of a new file, as for any other file.
            code =
                calls_.open(name_, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666, fd_);
            if (code != EEXIST) break;
        }
        if (code != 0) {
            name_.clear();
            fail(code, target);
        }
    }
    ~TemporaryFile() {
        if (fd_ >= 0) calls_.close(fd_);
        if (!name_.empty()) calls_.unlink(name_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_; }

    // Closes the file and renames it over the destination.
    void replace(const fs::path& target) {
        if (const int code = calls_.close(std::exchange(fd_, -1)); code != 0) fail(code, target);
        if (!name_.empty()) {
            if (const int code = calls_.rename(name_, destination_); code != 0) fail(code, target);
        }
        name_.clear();
    }

    // Links an unnamed file in under a hidden name, just before it is renamed.
    void name(const fs::path& target) {
        if (!name_.empty()) return;
        int code = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = temporaryName(destination_);
            code = calls_.linkat(fd_, candidate);
            if (code == 0) {
                name_ = std::move(candidate);
                return;
            }
            if (code != EEXIST) break;
        }
        fail(code, target);
    }

private:
    PosixFileCalls& calls_;
    fs::path destination_;
    fs::path name_;
    int fd_ = -1;
};

// A stream buffer writing to a file descriptor; the first failure is kept and stops writing.
class FileDescriptorBuffer : public std::streambuf {
public:
    FileDescriptorBuffer(int fd, PosixFileCalls& calls) : calls_(calls), fd_(fd) {
        setp(buffer_, buffer_ + sizeof(buffer_));
    }
    int error() const { return error_; }

protected:
    int_type overflow(int_type c) override {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        if (count < static_cast<std::streamsize>(sizeof(buffer_))) {
            return std::streambuf::xsputn(data, count);
        }
        if (!drain() || !writeAll(data, static_cast<std::size_t>(count))) return 0;
        return count;
    }
    int sync() override { return drain() ? 0 : -1; }

private:
    bool drain() {
        const bool ok = writeAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(buffer_, buffer_ + sizeof(buffer_));
        return ok;
    }
    bool writeAll(const char* data, std::size_t left) {
        while (left > 0 && error_ == 0) {
            std::size_t written = 0;
            if (const int code = calls_.write(fd_, data, left, written); code != 0) {
                if (code != EINTR) error_ = code;
                continue;
            }
            data += written;
            left -= written;
        }
        return error_ == 0;
    }

    PosixFileCalls& calls_;
    int fd_;
    int error_ = 0;
    char buffer_[64 * 1024];
};

// Gives the new file the owner, group and mode of the file it replaces. Only root may give a
// file away; a user may still keep the group when it is one of theirs.
void keepOwnerAndMode(int fd, const struct stat& old, const fs::path& target,
                      PosixFileCalls& calls) {
    if (calls.fchown(fd, old.st_uid, old.st_gid) != 0) {
        calls.fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    if (const int code = calls.fchmod(fd, old.st_mode & 07777); code != 0) fail(code, target);
}

}  // namespace

void writeFileAtomically(const fs::path& target, const std::function<void(std::ostream&)>& produce,
                         PosixFileCalls& calls) {
    const Destination dest = destinationOf(target, calls);
    TemporaryFile temp(dest.path, target, calls);
    if (dest.exists) keepOwnerAndMode(temp.fd(), dest.status, target, calls);
    {
        FileDescriptorBuffer buffer(temp.fd(), calls);
        std::ostream out(&buffer);
        produce(out);
        out.flush();
        if (buffer.error() != 0) fail(buffer.error(), target);
        if (!out) fail(EIO, target);
    }
    if (const int code = calls.fsync(temp.fd()); code != 0) fail(code, target);
    temp.name(target);
    temp.replace(target);
    // Make the rename itself durable; a failure here does not undo the replaced file.
    const fs::path folder =
        dest.path.parent_path().empty() ? fs::path(".") : dest.path.parent_path();
    int dfd = -1;
    if (calls.open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, dfd) == 0) {
        calls.fsync(dfd);
        calls.close(dfd);
    }
}

void writeFileAtomically(const fs::path& target,
                         const std::function<void(std::ostream&)>& produce) {
    writeFileAtomically(target, produce, defaultFileCalls());
}

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    writeFileAtomically(target, [bytes](std::ostream& out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
}

}  // namespace velmora
