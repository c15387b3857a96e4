#include "core/atomic_file_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/path_text.h"
#include "support/temp_dir.h"

// Each Win32 call of a save failing in turn, through a substitute: the old file stays whole, no
// temporary file is left behind, and the error carries the code.

namespace fs = std::filesystem;

namespace velmora {
namespace {

enum class Call {
    createNew,
    writeFile,
    flushFileBuffers,
    setFileAttributes,
    replaceFile,
    moveFile
};

// The real calls, except that `failing` fails with `code` without doing its work. An existing
// target reads as carrying the archive attribute, so that its attributes are carried over.
class FailingCalls : public Win32FileCalls {
public:
    FailingCalls(Call failing, DWORD code) : failing_(failing), code_(code) {}

    bool failed() const { return failed_; }

    DWORD fileAttributes(const std::wstring& path) override {
        const DWORD attributes = Win32FileCalls::fileAttributes(path);
        return attributes == INVALID_FILE_ATTRIBUTES ? attributes
                                                     : attributes | FILE_ATTRIBUTE_ARCHIVE;
    }
    DWORD createNew(const std::wstring& path, HANDLE& file) override {
        if (fails(Call::createNew)) {
            file = INVALID_HANDLE_VALUE;
            return code_;
        }
        return Win32FileCalls::createNew(path, file);
    }
    DWORD writeFile(HANDLE file, const char* data, DWORD size, DWORD& written) override {
        return fails(Call::writeFile) ? code_
                                      : Win32FileCalls::writeFile(file, data, size, written);
    }
    DWORD flushFileBuffers(HANDLE file) override {
        return fails(Call::flushFileBuffers) ? code_ : Win32FileCalls::flushFileBuffers(file);
    }
    DWORD setFileAttributes(const std::wstring& path, DWORD attributes) override {
        return fails(Call::setFileAttributes) ? code_
                                              : Win32FileCalls::setFileAttributes(path, attributes);
    }
    DWORD replaceFile(const std::wstring& target, const std::wstring& replacement) override {
        return fails(Call::replaceFile) ? code_ : Win32FileCalls::replaceFile(target, replacement);
    }
    DWORD moveFile(const std::wstring& from, const std::wstring& to) override {
        return fails(Call::moveFile) ? code_ : Win32FileCalls::moveFile(from, to);
    }

private:
    bool fails(Call call) {
        if (call != failing_) return false;
        failed_ = true;
        return true;
    }

    Call failing_;
    DWORD code_;
    bool failed_ = false;
};

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Every failure reads in Windows' own words, as the port errors do, and carries its code.
std::string windowsText(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

TEST(WriteFileAtomicallyFailures, EachFailingCallLeavesTheOldFileWholeAndNothingBehind) {
    struct Case {
        Call call;
        DWORD code;
        bool exists;  // whether there is an old file to replace
    };
    const Case cases[] = {
        {Call::createNew, ERROR_WRITE_FAULT, true},
        {Call::writeFile, ERROR_DISK_FULL, true},
        {Call::flushFileBuffers, ERROR_WRITE_FAULT, true},
        {Call::setFileAttributes, ERROR_ACCESS_DENIED, true},
        {Call::replaceFile, ERROR_SHARING_VIOLATION, true},
        {Call::moveFile, ERROR_WRITE_FAULT, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.call));
        test::TempDir dir;
        const fs::path file = dir / "DefReg.xml";
        if (c.exists) test::writeText(file, "old content");
        FailingCalls calls(c.call, c.code);
        try {
            writeFileAtomically(file, "new content", calls);
            ADD_FAILURE() << "expected an error";
        } catch (const SystemError& e) {
            EXPECT_EQ(e.code(), std::error_code(static_cast<int>(c.code), std::system_category()));
            EXPECT_EQ(std::string(e.what()), windowsText(c.code) + ": " + pathText(file));
        }
        EXPECT_TRUE(calls.failed());
        if (c.exists) {
            EXPECT_EQ(test::readText(file), "old content");
        }
        EXPECT_EQ(entries(dir.path()), c.exists ? 1u : 0u);
    }
}

TEST(WriteFileAtomicallyFailures, AMissingFolderIsToldInWindowsWords) {
    test::TempDir dir;
    const fs::path file = dir / "gone" / "bank.bin";
    try {
        writeFileAtomically(file, "image");
        ADD_FAILURE() << "expected an error";
    } catch (const SystemError& e) {
        EXPECT_EQ(e.code(), std::error_code(ERROR_PATH_NOT_FOUND, std::system_category()));
        EXPECT_EQ(std::string(e.what()), windowsText(ERROR_PATH_NOT_FOUND) + ": " + pathText(file));
    }
}

}  // namespace
}  // namespace velmora
