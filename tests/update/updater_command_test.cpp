#include "update/updater_command.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmora
