#include "core/atomic_file.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/path_text.h"
#include "support/error_text.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/unprivileged.h"
#endif

namespace fs = std::filesystem;

namespace velmora {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(WriteFileAtomically, CreatesAndReplacesWithoutLeavingTemporaryFiles) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeFileAtomically(file, "first, and longer than the second");
    EXPECT_EQ(readText(file), "first, and longer than the second");
    writeFileAtomically(file, "second");
    EXPECT_EQ(readText(file), "second");
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(WriteFileAtomically, MissingFolderFailsWithTheReasonAndPath) {
    TempDir dir;
    const auto file = dir / "gone" / "doc.xml";
    try {
        writeFileAtomically(file, "x");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(test::missingFolderText()), std::string::npos)
            << e.what();
    }
}

TEST(WriteFileAtomically, ReadOnlyTargetFailsAndStaysWhole) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old content");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_THROW(writeFileAtomically(file, "new"), Error);
    EXPECT_EQ(readText(file), "old content");
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(WriteFileAtomically, KeepsTheTargetsPermissions) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const fs::perms before = fs::status(file).permissions();
    writeFileAtomically(file, "new");
    EXPECT_EQ(fs::status(file).permissions(), before);
    EXPECT_EQ(readText(file), "new");
}

#ifdef _WIN32
// Replacing keeps the target's own attributes, as an in-place write would.
TEST(WriteFileAtomically, KeepsTheTargetsAttributesOnWindows) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
    if ((GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0) {
        GTEST_SKIP() << "this file system keeps no hidden attribute (Wine without extended "
                        "attributes)";
    }
    writeFileAtomically(file, "new");
    EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(readText(file), "new");
}
#endif

// A target named relative to the current folder, or (on Windows) without a drive and with
// forward slashes, is replaced as well as a full path is: twice over the same file.
TEST(WriteFileAtomically, ReplacesATargetNamedRelativeOrWithoutADrive) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    for (int run = 0; run < 2; ++run) EXPECT_NO_THROW(writeFileAtomically("bank.bin", "run"));
    fs::current_path(before);
    EXPECT_EQ(readText(dir / "bank.bin"), "run");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // Beside the test program, on the current drive: Wine reads a drive-less path that exists
    // as a Unix path as that path, and the program's folder is the same either way.
    const fs::path here = fs::absolute(dir.path().filename());
    fs::create_directory(here);
    std::string driveless = (here / "bank.bin").generic_string();
    if (driveless.size() > 1 && driveless[1] == ':') driveless.erase(0, 2);
    for (int run = 0; run < 2; ++run) EXPECT_NO_THROW(writeFileAtomically(driveless, "run"));
    EXPECT_EQ(readText(here / "bank.bin"), "run");
    EXPECT_EQ(std::distance(fs::directory_iterator(here), fs::directory_iterator()), 1);
    fs::remove_all(here);
}

// Names outside the ANSI code page of Windows are written and reported in full.
TEST(WriteFileAtomically, FoldersOfAnyNameAreWrittenAndNamedInFailures) {
    for (const std::string_view name : test::kNamesBeyondTheCodePage) {
        SCOPED_TRACE(name);
        TempDir dir;
        const auto folder = dir / pathFromText(name);
        fs::create_directory(folder);
        writeFileAtomically(folder / "doc.xml", "first");
        writeFileAtomically(folder / "doc.xml", "second");
        EXPECT_EQ(readText(folder / "doc.xml"), "second");
        EXPECT_EQ(entries(folder), 1u);
        try {
            writeFileAtomically(folder / "gone" / "doc.xml", "x");
            ADD_FAILURE() << "expected an error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      test::missingFolderText() + ": " + pathText(folder / "gone" / "doc.xml"));
        }
    }
}

TEST(WriteFileAtomically, AFailingProducerLeavesTheFileWholeAndNothingBehind) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old");
    EXPECT_THROW(writeFileAtomically(file,
                                     [](std::ostream& out) {
                                         out << "half of the new";
                                         throw Error("stopped");
                                     }),
                 Error);
    EXPECT_EQ(readText(file), "old");
    EXPECT_EQ(entries(dir.path()), 1u);

    writeFileAtomically(file, [](std::ostream& out) { out << std::string(200000, 'x') << "end"; });
    EXPECT_EQ(readText(file), std::string(200000, 'x') + "end");
    EXPECT_EQ(entries(dir.path()), 1u);
}

#ifndef _WIN32

TEST(WriteFileAtomically, RefusesWhatIsNotARegularFileAndReplacesNothing) {
    TempDir dir;
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const auto socketFile = dir / "socket";
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketFile.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const auto toDevice = dir / "null";  // a link to the system's /dev/null
    fs::create_symlink("/dev/null", toDevice);

    for (const auto& target : {fifo, socketFile, toDevice}) {
        const auto before = fs::status(target).type();
        EXPECT_EQ(test::errorText([&] { writeFileAtomically(target, "x"); }),
                  "Not a regular file: " + target.string());
        EXPECT_EQ(fs::status(target).type(), before) << target;
    }
    EXPECT_TRUE(fs::is_symlink(toDevice));
    EXPECT_EQ(entries(dir.path()), 3u);
    ::close(sock);
}

TEST(WriteFileAtomically, WritesThroughLinksAndKeepsThem) {
    TempDir dir;
    const auto real = dir / "data" / "doc.xml";
    writeText(real, "old");
    fs::create_directory(dir / "links");
    const auto absolute = dir / "links" / "absolute";
    const auto relative = dir / "links" / "relative";
    const auto chained = dir / "links" / "chained";
    fs::create_symlink(real, absolute);
    fs::create_symlink("../data/doc.xml", relative);
    fs::create_symlink("relative", chained);

    for (const auto& link : {absolute, relative, chained}) {
        writeFileAtomically(link, "through " + link.filename().string());
        EXPECT_TRUE(fs::is_symlink(link)) << link;
        EXPECT_EQ(readText(real), "through " + link.filename().string());
    }
    EXPECT_EQ(entries(dir / "data"), 1u);
    EXPECT_EQ(entries(dir / "links"), 3u);
}

TEST(WriteFileAtomically, RefusesADanglingLink) {
    TempDir dir;
    const auto link = dir / "link";
    fs::create_symlink(dir / "missing.xml", link);
    EXPECT_EQ(test::errorText([&] { writeFileAtomically(link, "x"); }),
              "The link leads to no file: " + link.string());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(fs::exists(dir / "missing.xml"));
    EXPECT_EQ(entries(dir.path()), 1u);
}

TEST(WriteFileAtomically, NewFilesFollowTheUmask) {
    TempDir dir;
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}, mode_t{0}}) {
        const mode_t previous = ::umask(mask);
        const auto file = dir / ("doc" + std::to_string(mask));
        writeFileAtomically(file, "x");
        ::umask(previous);
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
    }
}

TEST(WriteFileAtomically, AReplacedFileKeepsItsOwnerAndGroup) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    writeFileAtomically(file, "new");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readText(file), "new");
}

TEST(WriteFileAtomically, RefusesAFileThisUserMayNotWriteInAFolderItMayWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a file of another user takes root";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);  // the unprivileged user may rename here
    const auto file = dir / "doc.xml";
    writeText(file, "root's");
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);

    const std::string refusal = test::inUnprivilegedChild(
        [&] { return test::errorText([&] { writeFileAtomically(file, "nobody's"); }); });
    EXPECT_EQ(refusal, systemErrorText(EACCES) + ": " + file.string());
    EXPECT_EQ(readText(file), "root's");
    EXPECT_EQ(entries(dir.path()), 1u);

    writeFileAtomically(file, "root's again");  // root writes it in place too
    EXPECT_EQ(readText(file), "root's again");
}

#ifdef __linux__
TEST(WriteFileAtomically, AKilledSaveLeavesTheOldFileAndNothingElse) {
    TempDir dir;
    const auto file = dir / "bank.bin";
    writeText(file, "old");
    const std::string end = test::inChild([&] {
        writeFileAtomically(file, [](std::ostream& out) {
            out << std::string(100000, 'n');
            out.flush();
            ::kill(::getpid(), SIGKILL);
        });
        return std::string("not killed");
    });
    EXPECT_EQ(end, "signal " + std::to_string(SIGKILL));
    EXPECT_EQ(readText(file), "old");
    EXPECT_EQ(entries(dir.path()), 1u);
}
#endif

#endif

}  // namespace
}  // namespace velmora
