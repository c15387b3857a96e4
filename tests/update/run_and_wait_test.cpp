#include "update/run_and_wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "support/temp_dir.h"
#include "support/test_updater.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class RunAndWaitTest : public ::testing::Test {
protected:
    // A folder with a blank in its name: separate arguments need no quoting.
    fs::path appDir() const { return dir / "my gw"; }
    UpdaterArguments arguments() const {
        return updaterArguments("COM3", {true, true, false, true}, (appDir() / "MASTER").string(),
                                (appDir() / "PROJECTS" / "Plant 1").string());
    }

    test::TempDir dir;
};

TEST_F(RunAndWaitTest, TheUpdaterReceivesTheSevenArgumentsAndTheWaitEndsWithIt) {
    fs::create_directories(appDir());
    const fs::path program = test::installTestUpdater(appDir());
    // An exit status is never taken for "still running", whatever its value.
    for (const char* status : {"0", "3", "255"}) {
        test::ScopedEnv exit("VELMORA_TEST_UPDATER_EXIT", status);
        std::vector<std::chrono::milliseconds> ticks;
        const WaitOutcome outcome =
            RunAndWait(program, arguments(),
                       [&](std::chrono::milliseconds waited) { ticks.push_back(waited); });
        EXPECT_TRUE(outcome.ended) << status;
        EXPECT_LT(outcome.waited, 10s) << status;  // far from the limit: it ended with the updater
        EXPECT_TRUE(std::is_sorted(ticks.begin(), ticks.end()));
    }
    const std::string master = (appDir() / "MASTER").string();
    const std::string project = (appDir() / "PROJECTS" / "Plant 1").string();
    EXPECT_EQ(test::recordedArguments(program),
              (std::vector<std::string>{"COM3", "FW", "FR", "NO", "PR", master + "/sim48203.sim",
                                        project + "/bin/"}));
    EXPECT_EQ(test::recordedRuns(program), 3);
}

#ifndef _WIN32
// Velmora's own standard input (a terminal, here a pipe) is never the updater's: from a
// terminal, an updater that read it outside the foreground group would be stopped.
TEST_F(RunAndWaitTest, TheUpdaterReadsFromDevNullNotFromVelmorasStandardInput) {
    const fs::path program = test::installTestUpdater(dir.path());
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedInput = dup(0);
    ASSERT_GE(savedInput, 0);
    dup2(pipeEnds[0], 0);
    const WaitOutcome outcome = RunAndWait(program, arguments());
    dup2(savedInput, 0);
    for (int fd : {savedInput, pipeEnds[0], pipeEnds[1]}) close(fd);
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(test::readText(program.string() + ".stdin"), "null");
}
#endif

TEST_F(RunAndWaitTest, AtTheLimitTheUpdaterIsLeftRunning) {
    const fs::path program = test::installTestUpdater(dir.path());
    test::ScopedEnv linger("VELMORA_TEST_UPDATER_LINGER_MS", "30000");
    int ticks = 0;
    const WaitOutcome outcome = RunAndWait(
        program, arguments(), [&](std::chrono::milliseconds) { ++ticks; }, 300ms);
    EXPECT_FALSE(outcome.ended);
    EXPECT_GE(outcome.waited, 300ms);
    EXPECT_LT(outcome.waited, 30s);
    EXPECT_GT(ticks, 0);

    // Everything of the wait is gone, and the updater still runs.
    const auto pid = static_cast<pid_t>(outcome.pid);
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(kill(pid, 0), 0);
    EXPECT_EQ(test::recordedRuns(program), 1);

    // Once it ends it is collected: no zombie stays behind.
    kill(pid, SIGKILL);
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = kill(pid, 0) == -1 && errno == ESRCH;
        if (!gone) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(gone);
}

TEST_F(RunAndWaitTest, AnUpdaterThatCannotStartIsReportedWithThePlatformsReason) {
    const fs::path notExecutable = dir / "plain" / updaterProgram(".").filename();
    test::writeText(notExecutable, "not a program");
    fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
    struct Case {
        fs::path program;
        int code;
    };
    // No run bit refuses even the superuser: exec needs one.
    for (const Case& c :
         {Case{dir / "missing" / "Ser_48203_Update", ENOENT}, Case{notExecutable, EACCES}}) {
        bool ran = false;
        try {
            RunAndWait(c.program, arguments(), [&](std::chrono::milliseconds) { ran = true; });
            ADD_FAILURE() << c.program;
        } catch (const StartError& e) {
            EXPECT_EQ(e.code(), c.code);
            EXPECT_EQ(std::string(e.what()), "The updater program " + c.program.string() +
                                                 " cannot be started: " + std::strerror(c.code));
        }
        EXPECT_FALSE(ran);
    }
}

}  // namespace
}  // namespace velmora
