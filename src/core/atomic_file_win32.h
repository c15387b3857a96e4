#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// The Win32 calls an atomic save makes, one per step. This class makes the real calls; a test
// derives from it and overrides the step it wants to fail. Each returns ERROR_SUCCESS or the
// Win32 code of its failure (never through GetLastError) and never throws.
class Win32FileCalls {
public:
    virtual ~Win32FileCalls() = default;
    // GetFullPathNameW.
    virtual DWORD fullPathName(const std::wstring& given, std::wstring& full);
    // GetFileAttributesW: the attributes, or INVALID_FILE_ATTRIBUTES where there is no file.
    virtual DWORD fileAttributes(const std::wstring& path);
    // CreateFileW of a new file for writing, failing when one of that name exists.
    virtual DWORD createNew(const std::wstring& path, HANDLE& file);
    // WriteFile of up to `size` bytes; `written` tells how many went.
    virtual DWORD writeFile(HANDLE file, const char* data, DWORD size, DWORD& written);
    // FlushFileBuffers.
    virtual DWORD flushFileBuffers(HANDLE file);
    // CloseHandle.
    virtual void closeHandle(HANDLE file);
    // SetFileAttributesW.
    virtual DWORD setFileAttributes(const std::wstring& path, DWORD attributes);
    // ReplaceFileW of `target` by `replacement`, merge errors ignored.
    virtual DWORD replaceFile(const std::wstring& target, const std::wstring& replacement);
    // MoveFileExW with MOVEFILE_WRITE_THROUGH.
    virtual DWORD moveFile(const std::wstring& from, const std::wstring& to);
    // DeleteFileW.
    virtual void deleteFile(const std::wstring& path);
};

// The real calls, as writeFileAtomically makes them.
Win32FileCalls& defaultFileCalls();

// writeFileAtomically (core/atomic_file.h) making its system calls through `calls`.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         Win32FileCalls& calls);

}  // namespace velmora
