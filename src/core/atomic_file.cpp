#include "core/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "core/error.h"
#include "core/path_text.h"

#ifdef _WIN32
#include <windows.h>

#include <random>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace velmora {

namespace {

[[noreturn, maybe_unused]] void fail(int code, const fs::path& target) {
    throw Error(systemErrorText(code) + ": " + target.string());
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

}  // namespace

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    const std::wstring wtarget = target.wstring();
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

#else

std::string systemErrorText(int code) {
    return std::strerror(code);
}

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    struct stat st {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) fail(EISDIR, target);
        // A file without write permission is read-only for everyone here, even for root,
        // so the rename does not quietly replace a file the user protected.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) fail(EACCES, target);
        mode = st.st_mode & 07777;
    }

    std::string temp = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) fail(errno, target);

    auto abandon = [&](int code) {
        ::close(fd);
        ::unlink(temp.c_str());
        fail(code, target);
    };

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (::fchmod(fd, mode) != 0) abandon(errno);
    if (::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        fail(code, target);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        fail(code, target);
    }
    // Make the rename itself durable; a failure here does not undo the replaced file.
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

#endif

}  // namespace velmora
