// The Windows start of the updater, run for real: the stand-in updater records the command line
// it received (GetCommandLineW), which must be the program in quotes, one blank and the
// parameter line exactly as the update dialog composed it, quotes and backslashes included.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "support/test_updater.h"
#include "update/run_and_wait.h"
#include "update/updater_command.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class UpdaterWindowsTest : public ::testing::Test {
protected:
    // An installation folder with blanks in its name, as "C:\Program Files\Velmora" has.
    fs::path appDir() const { return dir / "Gw 2" / "app dir"; }
    std::string master() const { return (appDir() / "MASTER").string(); }
    std::string project() const { return (appDir() / "PROJECTS" / "Plant 1").string(); }

    test::TempDir dir;
};

TEST_F(UpdaterWindowsTest, TheUpdaterReceivesTheProgramAndTheParameterLineExactly) {
    fs::create_directories(appDir() / "PROJECTS" / "Plant 1" / "bin");
    test::writeText(appDir() / "PROJECTS" / "Plant 1" / "bin" / "bank.bin", "image");
    const fs::path program = test::installTestUpdater(appDir());
    struct Case {
        UpdateOptions options;
        const char* words;
    };
    for (const Case& c : {Case{{true, true, true, true}, "FW FR PW PR"},
                          Case{{false, true, false, false}, "NO FR NO NO"}}) {
        const UpdaterArguments arguments =
            updaterArguments("COM3", c.options, master(), project(), '\\');
        const WaitOutcome outcome = RunAndWait(program, arguments);
        EXPECT_TRUE(outcome.ended);
        EXPECT_LT(outcome.waited, 10s);
        EXPECT_EQ(test::readText(program.string() + ".cmdline"),
                  "\"" + program.string() + "\" COM3 " + c.words + " \"" + master() +
                      "\\sim48203.sim\" \"" + project() + "\\bin\\\"")
            << c.words;
        // The folder named last is the one "Update Device" wrote the image into.
        EXPECT_EQ(test::readText(program.string() + ".bank"), "image");
    }
    EXPECT_EQ(test::recordedRuns(program), 2);
}

TEST_F(UpdaterWindowsTest, AMissingUpdaterIsNotStartedAndNothingIsAwaited) {
    fs::create_directories(appDir());
    const fs::path program = updaterProgram(appDir());
    const UpdaterArguments arguments = updaterArguments("COM3", {}, master(), project(), '\\');
    EXPECT_THROW(RunAndWait(program, arguments), StartError);
}

}  // namespace
}  // namespace velmora
