#include "core/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "core/error.h"

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

[[noreturn]] void fail(int code, const fs::path& target) {
    throw Error(systemErrorText(code) + ": " + target.string());
}

}  // namespace

#ifdef _WIN32

std::string systemErrorText(int code) {
    return std::system_category().message(code);
}

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    const std::wstring wtarget = target.wstring();
    const DWORD attrs = GetFileAttributesW(wtarget.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        fail(ERROR_ACCESS_DENIED, target);
    }
    const std::wstring temp = wtarget + L".tmp~";
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) fail(static_cast<int>(GetLastError()), target);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr)) {
            const DWORD err = GetLastError();
            CloseHandle(h);
            DeleteFileW(temp.c_str());
            fail(static_cast<int>(err), target);
        }
        data += written;
        left -= written;
    }
    if (!FlushFileBuffers(h)) {
        const DWORD err = GetLastError();
        CloseHandle(h);
        DeleteFileW(temp.c_str());
        fail(static_cast<int>(err), target);
    }
    CloseHandle(h);
    if (!MoveFileExW(temp.c_str(), wtarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD err = GetLastError();
        DeleteFileW(temp.c_str());
        fail(static_cast<int>(err), target);
    }
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
