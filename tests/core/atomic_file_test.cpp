#include "core/atomic_file.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "core/path_text.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

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
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
        try {
            writeFileAtomically(folder / "gone" / "doc.xml", "x");
            ADD_FAILURE() << "expected an error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()),
                      systemErrorText(ENOENT) + ": " + pathText(folder / "gone" / "doc.xml"));
        }
    }
}

}  // namespace
}  // namespace velmora
