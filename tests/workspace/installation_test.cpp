#include "workspace/installation.h"

#include <gtest/gtest.h>

#include <map>

#include "support/temp_dir.h"
#include "support/unprivileged.h"

namespace fs = std::filesystem;

namespace velmora {
namespace {

EnvironmentLookup environmentOf(std::map<std::string, std::string> values) {
    return [values = std::move(values)](std::string_view name) -> std::optional<std::string> {
        const auto it = values.find(std::string(name));
        if (it == values.end()) return std::nullopt;
        return it->second;
    };
}

// A folder that the nobody user may write, below the test's own folder.
fs::path openFolder(const test::TempDir& dir, const char* name) {
    const fs::path folder = dir / name;
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::all);
    return folder;
}

TEST(InstallationTest, AWritableProgramFolderIsTheInstallationFolder) {
    test::TempDir dir;
    const fs::path program = openFolder(dir, "program");
    const auto environment = environmentOf({{"XDG_DATA_HOME", (dir / "xdg").string()}});
    EXPECT_EQ(chooseInstallationFolder(program, environment), program);
    EXPECT_FALSE(fs::exists(dir / "xdg"));
}

#ifndef _WIN32
// The program folder is read-only for the user; the case runs as the nobody user, so that it
// holds under root too. Each case names the environment and the folder expected.
TEST(InstallationTest, AReadOnlyProgramFolderMovesToThePerUserFolder) {
    test::TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec |
                                    fs::perms::others_exec | fs::perms::group_read |
                                    fs::perms::others_read);
    const fs::path program = dir / "program";
    fs::create_directories(program);
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    const fs::path xdg = openFolder(dir, "xdg");
    const fs::path home = openFolder(dir, "home");
    const fs::path locked = dir / "locked";
    fs::create_directories(locked);

    struct Case {
        const char* name;
        std::map<std::string, std::string> environment;
        fs::path expected;
    };
    const Case cases[] = {
        {"XDG data home",
         {{"XDG_DATA_HOME", xdg.string()}, {"HOME", home.string()}},
         xdg / "velmora"},
        {"home only", {{"HOME", home.string()}}, home / ".local" / "share" / "velmora"},
        {"relative XDG data home is ignored",
         {{"XDG_DATA_HOME", "relative/data"}, {"HOME", home.string()}},
         home / ".local" / "share" / "velmora"},
        {"neither variable", {}, program},
        {"per-user folder cannot be made",
         {{"XDG_DATA_HOME", (locked / "data").string()}},
         program},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int status = test::runUnprivileged([&] {
            return chooseInstallationFolder(program, environmentOf(c.environment)) == c.expected
                       ? 0
                       : 1;
        });
        EXPECT_EQ(status, 0);
        if (c.expected != program) {
            EXPECT_TRUE(fs::is_directory(c.expected));
        }
    }
}
#endif

}  // namespace
}  // namespace velmora
