#include "core/atomic_file_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "core/error.h"
#include "support/temp_dir.h"

// Each system call of a save failing in turn, through a substitute: the old file stays whole,
// no temporary file and no open descriptor is left behind, and the error carries the code.

namespace fs = std::filesystem;

namespace velmora {
namespace {

enum class Call { createNamed, write, fsync, fchmod, linkat, close, rename };

// The real calls, except that `failing` fails once with `code` without doing its work.
// `unnamed` false makes the save take a named temporary file from the start.
class FailingCalls : public PosixFileCalls {
public:
    FailingCalls(Call failing, int code, bool unnamed)
        : failing_(failing), code_(code), unnamed_(unnamed) {}

    bool failed() const { return failed_; }

    bool canLinkUnnamed() override { return unnamed_ && PosixFileCalls::canLinkUnnamed(); }
    int open(const fs::path& path, int flags, mode_t mode, int& fd) override {
        const int code = PosixFileCalls::open(path, flags, mode, fd);
        // The temporary file, named or not: its descriptor is the one closed before the rename.
        if (code == 0 && ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)) temp_ = fd;
        if (code == 0 && (flags & O_CREAT) != 0 && fails(Call::createNamed)) {
            PosixFileCalls::close(fd);
            PosixFileCalls::unlink(path);
            fd = -1;
            return code_;
        }
        return code;
    }
    int write(int fd, const char* data, std::size_t size, std::size_t& written) override {
        return fails(Call::write) ? code_ : PosixFileCalls::write(fd, data, size, written);
    }
    int fsync(int fd) override { return fails(Call::fsync) ? code_ : PosixFileCalls::fsync(fd); }
    int fchmod(int fd, mode_t mode) override {
        return fails(Call::fchmod) ? code_ : PosixFileCalls::fchmod(fd, mode);
    }
    int linkat(int fd, const fs::path& name) override {
        return fails(Call::linkat) ? code_ : PosixFileCalls::linkat(fd, name);
    }
    int close(int fd) override {
        const int code = PosixFileCalls::close(fd);  // the descriptor goes, as on Linux
        return fd == temp_ && fails(Call::close) ? code_ : code;
    }
    int rename(const fs::path& from, const fs::path& to) override {
        return fails(Call::rename) ? code_ : PosixFileCalls::rename(from, to);
    }

private:
    bool fails(Call call) {
        if (call != failing_ || failed_) return false;
        failed_ = true;
        return true;
    }

    Call failing_;
    int code_;
    bool unnamed_;
    bool failed_ = false;
    int temp_ = -1;
};

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::size_t openDescriptors() { return entries("/proc/self/fd"); }

TEST(WriteFileAtomicallyFailures, EachFailingCallLeavesTheOldFileWholeAndNothingBehind) {
    struct Case {
        Call call;
        const char* name;
        int code;
        std::vector<bool> unnamed;  // the kinds of temporary file that make this call
    };
    const Case cases[] = {
        {Call::createNamed, "open", EMFILE, {false}},
        {Call::write, "write", ENOSPC, {true, false}},
        {Call::fsync, "fsync", EIO, {true, false}},
        {Call::fchmod, "fchmod", EPERM, {true, false}},
        {Call::linkat, "linkat", EMLINK, {true}},
        {Call::close, "close", EIO, {true, false}},
        {Call::rename, "rename", EXDEV, {true, false}},
    };
    for (const Case& c : cases) {
        for (const bool unnamed : c.unnamed) {
            SCOPED_TRACE(std::string(c.name) + (unnamed ? ", unnamed" : ", named"));
            test::TempDir dir;
            const fs::path file = dir / "DefReg.xml";
            test::writeText(file, "old content");
            const std::size_t descriptors = openDescriptors();
            FailingCalls calls(c.call, c.code, unnamed);
            try {
                writeFileAtomically(
                    file, [](std::ostream& out) { out << "new content"; }, calls);
                ADD_FAILURE() << "expected an error";
            } catch (const SystemError& e) {
                EXPECT_EQ(e.code(), std::error_code(c.code, std::generic_category()));
                EXPECT_EQ(std::string(e.what()), systemErrorText(c.code) + ": " + file.string());
            }
            EXPECT_TRUE(calls.failed());
            EXPECT_EQ(test::readText(file), "old content");
            EXPECT_EQ(entries(dir.path()), 1u);
            EXPECT_EQ(openDescriptors(), descriptors);
        }
    }
}

}  // namespace
}  // namespace velmora
