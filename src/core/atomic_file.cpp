#include "core/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>

#include "core/error.h"
#include "core/path_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace velmora {

namespace {

[[noreturn, maybe_unused]] void fail(int code, const fs::path& target) {
    throw Error(systemErrorText(code) + ": " + pathText(target));
}

}  // namespace

#ifdef _WIN32

std::string systemErrorText(int code) { return std::generic_category().message(code); }

namespace {

// The text of the Win32 error `code`: the C library's wording where an errno value means the
// same, so a failure reads alike on every platform.
std::string win32ErrorText(DWORD code) {
    switch (code) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return systemErrorText(EACCES);
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return systemErrorText(ENOENT);
        case ERROR_DIRECTORY:
            return systemErrorText(EISDIR);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return systemErrorText(ENOSPC);
        case ERROR_FILENAME_EXCED_RANGE:
            return systemErrorText(ENAMETOOLONG);
        default:
            return std::system_category().message(static_cast<int>(code));
    }
}

[[noreturn]] void failWin32(DWORD code, const fs::path& target) {
    throw Error(win32ErrorText(code) + ": " + pathText(target));
}

// A new file beside `target`, named after it with a random suffix; its path goes to `temp`.
HANDLE createTemporaryBeside(const std::wstring& target, std::wstring& temp) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + L"." + std::to_wstring(random()) + L".tmp";
        const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    }
    return INVALID_HANDLE_VALUE;
}

// `target` as a full path with a drive: ReplaceFileW misreads a bare relative name ("bank.bin")
// and one without a drive ("/data/bank.bin"), and the temporary name is built from it.
std::wstring fullPath(const fs::path& target) {
    const std::wstring given = target.wstring();
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) failWin32(GetLastError(), target);
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // the size asked for, terminating zero included
    }
}

}  // namespace

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    const std::wstring wtarget = fullPath(target);
    const DWORD attrs = GetFileAttributesW(wtarget.c_str());
    const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
    if (exists && (attrs & FILE_ATTRIBUTE_DIRECTORY)) failWin32(ERROR_DIRECTORY, target);
    // A read-only target is refused before anything is written, as writing into it would be.
    if (exists && (attrs & FILE_ATTRIBUTE_READONLY)) failWin32(ERROR_ACCESS_DENIED, target);

    std::wstring temp;
    const HANDLE h = createTemporaryBeside(wtarget, temp);
    if (h == INVALID_HANDLE_VALUE) failWin32(GetLastError(), target);
    auto abandon = [&](DWORD code, bool open) {
        if (open) CloseHandle(h);
        DeleteFileW(temp.c_str());
        failWin32(code, target);
    };

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr)) abandon(GetLastError(), true);
        data += written;
        left -= written;
    }
    if (!FlushFileBuffers(h)) abandon(GetLastError(), true);
    CloseHandle(h);
    // Carried over by hand too: not every ReplaceFileW keeps them (Wine's does not).
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (exists && (attrs & kKept) && !SetFileAttributesW(temp.c_str(), attrs & kKept)) {
        abandon(GetLastError(), false);
    }

    // An existing target keeps its attributes and security through ReplaceFileW; a new one is
    // renamed into place. Either way the old file stays whole until the switch.
    const bool replaced =
        exists ? ReplaceFileW(wtarget.c_str(), temp.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
               : MoveFileExW(temp.c_str(), wtarget.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) abandon(GetLastError(), false);
}

void writeFileAtomically(const fs::path& target,
                         const std::function<void(std::ostream&)>& produce) {
    std::ostringstream content;
    produce(content);
    writeFileAtomically(target, content.view());
}

#else

std::string systemErrorText(int code) { return std::strerror(code); }

namespace {

// Where the new content goes: the target itself or, for a link, the file it finally leads to.
struct Destination {
    fs::path path;
    bool exists = false;
    struct stat status {};
};

Destination destinationOf(const fs::path& target) {
    Destination dest{target};
    struct stat link {};
    if (::lstat(target.c_str(), &link) != 0) {
        if (errno == ENOENT) return dest;
        fail(errno, target);
    }
    if (S_ISLNK(link.st_mode)) {
        // Replacing the link itself would leave the file it leads to stale.
        char* real = ::realpath(target.c_str(), nullptr);
        if (real == nullptr) {
            if (errno == ENOENT) throw Error("The link leads to no file: " + target.string());
            fail(errno, target);
        }
        dest.path = real;
        std::free(real);
    }
    if (::stat(dest.path.c_str(), &dest.status) != 0) fail(errno, target);
    dest.exists = true;
    if (S_ISDIR(dest.status.st_mode)) fail(EISDIR, target);
    // A device, a pipe or a socket is never swapped for a plain file (think of /dev/null).
    if (!S_ISREG(dest.status.st_mode)) throw Error("Not a regular file: " + target.string());
    // A file without write permission is read-only for everyone here, even for root,
    // so the rename does not quietly replace a file the user protected.
    if ((dest.status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) fail(EACCES, target);
    // The rename needs only the folder's permission; the file's own is asked for here, so that
    // a file this user may not write is refused as an in-place write would refuse it.
    const int probe = ::open(dest.path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) fail(errno, target);
    ::close(probe);
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
    TemporaryFile(const fs::path& destination, const fs::path& target) : destination_(destination) {
        const fs::path folder =
            destination.parent_path().empty() ? fs::path(".") : destination.parent_path();
#ifdef O_TMPFILE
        // Linking it in later goes through /proc; without /proc the file is named from the start.
        if (::access("/proc/self/fd", X_OK) == 0) {
            fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            if (fd_ >= 0) return;
        }
#endif
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = temporaryName(destination);
            // 0666 here lets the umask decide the mode of a new file, as for any other file.
            fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
            if (fd_ >= 0 || errno != EEXIST) break;
        }
        if (fd_ < 0) {
            const int code = errno;
            name_.clear();
            fail(code, target);
        }
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!name_.empty()) ::unlink(name_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_; }

    // Closes the file and renames it over the destination.
    void replace(const fs::path& target) {
        if (::close(std::exchange(fd_, -1)) != 0) fail(errno, target);
        if (!name_.empty() && ::rename(name_.c_str(), destination_.c_str()) != 0)
            fail(errno, target);
        name_.clear();
    }

    // Links an unnamed file in under a hidden name, just before it is renamed.
    void name(const fs::path& target) {
        if (!name_.empty()) return;
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = temporaryName(destination_);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                name_ = std::move(candidate);
                return;
            }
            if (errno != EEXIST) break;
        }
        fail(errno, target);
    }

private:
    fs::path destination_;
    fs::path name_;
    int fd_ = -1;
};

// A stream buffer writing to a file descriptor; the first failure is kept and stops writing.
class FileDescriptorBuffer : public std::streambuf {
public:
    explicit FileDescriptorBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof(buffer_)); }
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
            const ssize_t n = ::write(fd_, data, left);
            if (n < 0) {
                if (errno != EINTR) error_ = errno;
                continue;
            }
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        return error_ == 0;
    }

    int fd_;
    int error_ = 0;
    char buffer_[64 * 1024];
};

// Gives the new file the owner, group and mode of the file it replaces. Only root may give a
// file away; a user may still keep the group when it is one of theirs.
void keepOwnerAndMode(int fd, const struct stat& old, const fs::path& target) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0)
        (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    if (::fchmod(fd, old.st_mode & 07777) != 0) fail(errno, target);
}

}  // namespace

void writeFileAtomically(const fs::path& target,
                         const std::function<void(std::ostream&)>& produce) {
    const Destination dest = destinationOf(target);
    TemporaryFile temp(dest.path, target);
    if (dest.exists) keepOwnerAndMode(temp.fd(), dest.status, target);
    {
        FileDescriptorBuffer buffer(temp.fd());
        std::ostream out(&buffer);
        produce(out);
        out.flush();
        if (buffer.error() != 0) fail(buffer.error(), target);
        if (!out) fail(EIO, target);
    }
    if (::fsync(temp.fd()) != 0) fail(errno, target);
    temp.name(target);
    temp.replace(target);
    // Make the rename itself durable; a failure here does not undo the replaced file.
    const fs::path folder =
        dest.path.parent_path().empty() ? fs::path(".") : dest.path.parent_path();
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    writeFileAtomically(target, [bytes](std::ostream& out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
}

#endif

}  // namespace velmora
