#include "update/run_and_wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
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
        const WaitOutcome outcome = RunAndWait(program, arguments());
        EXPECT_TRUE(outcome.ended) << status;
        EXPECT_LT(outcome.waited, 10s) << status;  // far from the limit: it ended with the updater
    }
    const std::string master = (appDir() / "MASTER").string();
    const std::string project = (appDir() / "PROJECTS" / "Plant 1").string();
    EXPECT_EQ(test::recordedArguments(program),
              (std::vector<std::string>{"COM3", "FW", "FR", "NO", "PR", master + "/sim48203.sim",
                                        project + "/bin/"}));
    EXPECT_EQ(test::recordedRuns(program), 3);
}

#ifndef _WIN32
// Velmora started from a terminal: the updater, in a process group of its own, would be stopped
// by that terminal the moment it read it, and the wait would run to its limit. It reads
// /dev/null instead, and ends.
TEST_F(RunAndWaitTest, AnUpdaterThatReadsStandardInputIsNotStoppedByTheTerminal) {
    const fs::path program = test::installTestUpdater(dir.path());
    test::ScopedEnv readInput("VELMORA_TEST_UPDATER_READ_STDIN", "1");
    const UpdaterArguments args = arguments();
    int master = -1, terminal = -1;
    ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    const pid_t velmora = fork();
    ASSERT_GE(velmora, 0);
    if (velmora == 0) {
        // Plays Velmora: a new session whose controlling terminal, in whose foreground group it
        // runs, is its standard input. Only async-signal-safe calls before the wait.
        ::close(master);
        if (setsid() < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0 || dup2(terminal, 0) < 0) _exit(2);
        int code = 3;
        try {
            code = RunAndWait(program, args, 5s).ended ? 0 : 1;
        } catch (...) {
        }
        _exit(code);
    }
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(velmora, &status, 0), velmora);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the wait ran to its limit";
    EXPECT_EQ(test::readText(program.string() + ".stdin"), "null");
}
#endif

TEST_F(RunAndWaitTest, AtTheLimitTheUpdaterIsLeftRunning) {
    const fs::path program = test::installTestUpdater(dir.path());
    test::ScopedEnv linger("VELMORA_TEST_UPDATER_LINGER_MS", "30000");
    const WaitOutcome outcome = RunAndWait(program, arguments(), 300ms);
    EXPECT_FALSE(outcome.ended);
    EXPECT_GE(outcome.waited, 300ms);
    EXPECT_LT(outcome.waited, 30s);

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
        try {
            RunAndWait(c.program, arguments());
            ADD_FAILURE() << c.program;
        } catch (const StartError& e) {
            EXPECT_EQ(e.code(), std::error_code(c.code, std::generic_category()));
            EXPECT_EQ(std::string(e.what()), "The updater program " + c.program.string() +
                                                 " cannot be started: " + std::strerror(c.code));
        }
    }
}

}  // namespace
}  // namespace velmora
