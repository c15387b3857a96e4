#include "core/atomic_file.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace velmora {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;

TEST(WriteFileAtomically, CreatesAndReplacesWithoutLeavingTemporaryFiles) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeFileAtomically(file, "first, and longer than the second");
    EXPECT_EQ(readText(file), "first, and longer than the second");
    writeFileAtomically(file, "second");
    EXPECT_EQ(readText(file), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(WriteFileAtomically, MissingFolderFailsWithTheReasonAndPath) {
    TempDir dir;
    const auto file = dir / "gone" / "doc.xml";
    try {
        writeFileAtomically(file, "x");
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(systemErrorText(ENOENT)), std::string::npos) << e.what();
    }
}

TEST(WriteFileAtomically, ReadOnlyTargetFailsAndStaysWhole) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old content");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_THROW(writeFileAtomically(file, "new"), Error);
    EXPECT_EQ(readText(file), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(WriteFileAtomically, KeepsTheTargetsPermissions) {
    TempDir dir;
    const auto file = dir / "doc.xml";
    writeText(file, "old");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    writeFileAtomically(file, "new");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

}  // namespace
}  // namespace velmora
