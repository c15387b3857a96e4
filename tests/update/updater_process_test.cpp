#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "update/run_and_wait.h"

// The start and the wait through a substitute process layer: no process is started.

namespace velmora {
namespace {

using namespace std::chrono_literals;

// Refuses to start with `refusal`, or starts a process that has ended after `looksToEnd` looks.
class FakeProcessLayer : public ProcessLayer {
public:
    std::error_code refusal;
    int looksToEnd = 1;
    int looks = 0;
    std::vector<std::string> released;  // "running" or "ended", once per release

    std::error_code start(const std::filesystem::path&, const UpdaterArguments&,
                          Started& started) override {
        if (refusal) return refusal;
        started = {77, 4242};
        return {};
    }
    bool ended(Handle process) override {
        EXPECT_EQ(process, 77);
        return ++looks >= looksToEnd;
    }
    void release(Handle process, bool ended) override {
        EXPECT_EQ(process, 77);
        released.push_back(ended ? "ended" : "running");
    }
};

const UpdaterArguments kArguments =
    updaterArguments("COM3", {true, true, true, true}, "MASTER", "PROJECTS/Plant1");

TEST(UpdaterStart, ARefusedStartNamesTheProgramAndTheReasonOfItsCode) {
    const std::filesystem::path program = std::filesystem::path("gw") / "Ser_48203_Update";
    // An errno value as POSIX gives it, a Win32 code (5: access denied) as Windows gives it.
    for (const std::error_code code : {std::error_code(E2BIG, std::generic_category()),
                                       std::error_code(5, std::system_category())}) {
        auto layer = std::make_shared<FakeProcessLayer>();
        layer->refusal = code;
        try {
            RunAndWait(program, kArguments, 1s, layer);
            ADD_FAILURE() << code;
        } catch (const StartError& e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_EQ(std::string(e.what()), "The updater program " + program.string() +
                                                 " cannot be started: " + code.message());
        }
        EXPECT_EQ(layer->looks, 0);
        EXPECT_TRUE(layer->released.empty());  // nothing was started, so nothing is let go
    }
}

TEST(UpdaterStart, TheWaitEndsWithTheUpdaterOrAtTheLimitAndLetsItGoOnce) {
    auto layer = std::make_shared<FakeProcessLayer>();
    layer->looksToEnd = 3;
    const WaitOutcome ended = RunAndWait("Ser_48203_Update", kArguments, 10s, layer);
    EXPECT_TRUE(ended.ended);
    EXPECT_EQ(ended.pid, 4242);
    EXPECT_EQ(layer->looks, 3);
    EXPECT_EQ(layer->released, std::vector<std::string>{"ended"});

    // Left running at the limit: let go as a running process, which is collected later.
    layer = std::make_shared<FakeProcessLayer>();
    layer->looksToEnd = 1'000'000;
    const WaitOutcome limited = RunAndWait("Ser_48203_Update", kArguments, 50ms, layer);
    EXPECT_FALSE(limited.ended);
    EXPECT_GE(limited.waited, 50ms);
    EXPECT_EQ(layer->released, std::vector<std::string>{"running"});
}

}  // namespace
}  // namespace velmora
