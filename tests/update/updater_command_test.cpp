#include "update/updater_command.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace velmora {
namespace {

TEST(UpdaterCommand, ParameterLineCarriesTheChosenWordsAndBothPaths) {
    struct Case {
        UpdateOptions options;
        const char* line;
    };
    const Case cases[] = {
        {{true, true, true, true},
         R"(COM3 FW FR PW PR "C:\Gw\MASTER\sim48203.sim" "C:\Gw\PROJECTS\Plant1\bin\")"},
        {{false, false, false, false},
         R"(COM3 NO NO NO NO "C:\Gw\MASTER\sim48203.sim" "C:\Gw\PROJECTS\Plant1\bin\")"},
        {{false, false, true, true},
         R"(COM3 NO NO PW PR "C:\Gw\MASTER\sim48203.sim" "C:\Gw\PROJECTS\Plant1\bin\")"},
        {{true, false, false, true},
         R"(COM3 FW NO NO PR "C:\Gw\MASTER\sim48203.sim" "C:\Gw\PROJECTS\Plant1\bin\")"},
        {{true, false, true, true},
         R"(COM3 FW NO PW PR "C:\Gw\MASTER\sim48203.sim" "C:\Gw\PROJECTS\Plant1\bin\")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(updaterParameterLine(updaterArguments("COM3", c.options, R"(C:\Gw\MASTER)",
                                                        R"(C:\Gw\PROJECTS\Plant1)", '\\')),
                  c.line);
    }
}

TEST(UpdaterCommand, ArgumentsAreTheSevenPiecesWithoutQuotes) {
    const UpdaterArguments arguments = updaterArguments(
        "ttyUSB0", {true, false, true, false}, "/opt/my gw/MASTER", "/opt/my gw/PROJECTS/P 1", '/');
    EXPECT_EQ(arguments,
              (UpdaterArguments{"ttyUSB0", "FW", "NO", "PW", "NO", "/opt/my gw/MASTER/sim48203.sim",
                                "/opt/my gw/PROJECTS/P 1/bin/"}));
    EXPECT_EQ(
        updaterParameterLine(arguments),
        R"(ttyUSB0 FW NO PW NO "/opt/my gw/MASTER/sim48203.sim" "/opt/my gw/PROJECTS/P 1/bin/")");
}

TEST(UpdaterCommand, ProgramSitsBesideTheExecutable) {
#ifdef _WIN32
    EXPECT_EQ(updaterProgram(R"(C:\Gw)").wstring(), LR"(C:\Gw\Ser_48203_Update.exe)");
#else
    EXPECT_EQ(updaterProgram("/opt/gw").string(), "/opt/gw/Ser_48203_Update");
#endif
}

TEST(UpdaterCommand, TheUpdaterBesideTheExecutableComesFirstThenTheInstallationFolders) {
    namespace fs = std::filesystem;
    struct Case {
        bool besideExecutable, inInstallation;
        const char* found;
    };
    const Case cases[] = {{true, true, "program"},
                          {false, true, "installation"},
                          {true, false, "program"},
                          {false, false, "program"}};  // named in the message that it is missing
    for (const Case& c : cases) {
        test::TempDir dir;
        for (const char* folder : {"program", "installation"}) fs::create_directories(dir / folder);
        if (c.besideExecutable) test::writeText(updaterProgram(dir / "program"), "");
        if (c.inInstallation) test::writeText(updaterProgram(dir / "installation"), "");
        EXPECT_EQ(findUpdater(dir / "program", dir / "installation"),
                  updaterProgram(dir / c.found));
    }
}

}  // namespace
}  // namespace velmora
