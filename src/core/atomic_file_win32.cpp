#include "core/atomic_file_win32.h"

#include <random>
#include <sstream>
#include <system_error>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"

namespace fs = std::filesystem;

namespace velmora {

namespace {

DWORD success(BOOL done) { return done ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

DWORD Win32FileCalls::fullPathName(const std::wstring& given, std::wstring& full) {
    full.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return GetLastError();
        if (length < full.size()) {
            full.resize(length);
            return ERROR_SUCCESS;
        }
        full.resize(length);  // the size asked for, terminating zero included
    }
}

DWORD Win32FileCalls::fileAttributes(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

DWORD Win32FileCalls::createNew(const std::wstring& path, HANDLE& file) {
    file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    return file != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
}

DWORD Win32FileCalls::writeFile(HANDLE file, const char* data, DWORD size, DWORD& written) {
    return success(WriteFile(file, data, size, &written, nullptr));
}

DWORD Win32FileCalls::flushFileBuffers(HANDLE file) { return success(FlushFileBuffers(file)); }

void Win32FileCalls::closeHandle(HANDLE file) { CloseHandle(file); }

DWORD Win32FileCalls::setFileAttributes(const std::wstring& path, DWORD attributes) {
    return success(SetFileAttributesW(path.c_str(), attributes));
}

DWORD Win32FileCalls::replaceFile(const std::wstring& target, const std::wstring& replacement) {
    return success(ReplaceFileW(target.c_str(), replacement.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr));
}

DWORD Win32FileCalls::moveFile(const std::wstring& from, const std::wstring& to) {
    return success(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH));
}

void Win32FileCalls::deleteFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

Win32FileCalls& defaultFileCalls() {
    static Win32FileCalls calls;
    return calls;
}

namespace {

// The failure told in Windows' own words, as the port errors are, with the code behind it.
[[noreturn]] void fail(DWORD code, const fs::path& target) {
    throw SystemError(std::error_code(static_cast<int>(code), std::system_category()),
                      nativeErrorText(static_cast<int>(code)) + ": " + pathText(target));
}

// A new file beside `target`, named after it with a random suffix; its path goes to `temp`.
DWORD createTemporaryBeside(const std::wstring& target, std::wstring& temp, HANDLE& file,
                            Win32FileCalls& calls) {
    std::random_device random;
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + L"." + std::to_wstring(random()) + L".tmp";
        code = calls.createNew(temp, file);
        if (code != ERROR_FILE_EXISTS) return code;
    }
    return code;
}

}  // namespace

void writeFileAtomically(const fs::path& target, std::string_view bytes, Win32FileCalls& calls) {
    // A full path with a drive: ReplaceFileW misreads a bare relative name ("bank.bin") and one
    // without a drive ("/data/bank.bin"), and the temporary name is built from it.
    std::wstring wtarget;
    if (const DWORD code = calls.fullPathName(target.wstring(), wtarget); code != ERROR_SUCCESS) {
        fail(code, target);
    }
    const DWORD attrs = calls.fileAttributes(wtarget);
    const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
    if (exists && (attrs & FILE_ATTRIBUTE_DIRECTORY)) fail(ERROR_DIRECTORY, target);
    // A read-only target is refused before anything is written, as writing into it would be.
    if (exists && (attrs & FILE_ATTRIBUTE_READONLY)) fail(ERROR_ACCESS_DENIED, target);

    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (const DWORD code = createTemporaryBeside(wtarget, temp, h, calls); code != ERROR_SUCCESS) {
        fail(code, target);
    }
    auto abandon = [&](DWORD code, bool open) {
        if (open) calls.closeHandle(h);
        calls.deleteFile(temp);
        fail(code, target);
    };

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (const DWORD code = calls.writeFile(h, data, chunk, written); code != ERROR_SUCCESS) {
            abandon(code, true);
        }
        data += written;
        left -= written;
    }
    if (const DWORD code = calls.flushFileBuffers(h); code != ERROR_SUCCESS) abandon(code, true);
    calls.closeHandle(h);
    // Carried over by hand too: not every ReplaceFileW keeps them (Wine's does not).
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (exists && (attrs & kKept)) {
        if (const DWORD code = calls.setFileAttributes(temp, attrs & kKept);
            code != ERROR_SUCCESS) {
            abandon(code, false);
        }
    }

    // An existing target keeps its attributes and security through ReplaceFileW; a new one is
    // renamed into place. Either way the old file stays whole until the switch.
    const DWORD code = exists ? calls.replaceFile(wtarget, temp) : calls.moveFile(temp, wtarget);
    if (code != ERROR_SUCCESS) abandon(code, false);
}

void writeFileAtomically(const fs::path& target, std::string_view bytes) {
    writeFileAtomically(target, bytes, defaultFileCalls());
}

void writeFileAtomically(const fs::path& target,
                         const std::function<void(std::ostream&)>& produce) {
    std::ostringstream content;
    produce(content);
    writeFileAtomically(target, content.view());
}

}  // namespace velmora
