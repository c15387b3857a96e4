// The monitor over many polls: how it answers a gateway that is busy, slow to start or gone for a
// while, and what its log holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/gateway_line.h"
#include "cli/monitor_fixture.h"
#include "cli/monitor_poll.h"
#include "image/device_map.h"
#include "modbus/protocol.h"

namespace velmora::cli {
namespace {

using namespace test_monitor;

// An exception answer to `request` from unit 17.
std::vector<std::uint8_t> exceptionAnswer(const std::vector<std::uint8_t>& request,
                                          std::uint8_t code) {
    const std::vector<std::uint8_t> pdu = {static_cast<std::uint8_t>(request[1] | 0x80), code};
    return modbus::encodeAdu(modbus::Framing::Rtu, modbus::Adu{0, 17, pdu});
}

// The first register and count a request asks for.
modbus::RegisterRun askedRun(const std::vector<std::uint8_t>& request) {
    return {static_cast<std::uint16_t>(request[2] << 8 | request[3]),
            static_cast<std::uint16_t>(request[4] << 8 | request[5])};
}

// Which exceptions split a run and which are asked again as they were: the poller against a
// gateway played on the far end of a line, over two polls of the test's map (runs 0..2, 5..6).
TEST_F(Monitor, OnlyAnIllegalAddressSplitsARunAndBusyAnswersAreAskedAgain) {
    using Runs = std::vector<modbus::RegisterRun>;
    struct Case {
        std::string name;
        // The answer to the n-th request (counted from 0) for `run`.
        std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&, int n)> answer;
        std::size_t requests;  // in the first poll
        std::vector<std::string> problems;
        Runs runsAfter;
    };
    const auto busy = [](std::uint8_t code, int times) {
        return [code, times](const std::vector<std::uint8_t>& request, int n) {
            return n < times ? exceptionAnswer(request, code) : goodAnswer(request);
        };
    };
    // Run 0..2 refused with `code` every time, run 5..6 answered.
    const auto firstRunRefused = [](std::uint8_t code) {
        return [code](const std::vector<std::uint8_t>& request, int) {
            return askedRun(request).first == 0 ? exceptionAnswer(request, code)
                                                : goodAnswer(request);
        };
    };
    const std::string busyText = "registers 0 to 2: exception 6 (server device busy)";
    const std::vector<Case> cases = {
        // Each run asked again after 0.1 s, 0.2 s, 0.4 s until it is answered; nothing split.
        {"busy once", busy(modbus::kServerDeviceBusy, 1), 4, {}, {{0, 3}, {5, 2}}},
        {"gateway target twice", busy(modbus::kGatewayTargetFailed, 2), 6, {}, {{0, 3}, {5, 2}}},
        {"acknowledge thrice", busy(modbus::kAcknowledge, 3), 8, {}, {{0, 3}, {5, 2}}},
        // Busy to everything: the first run asked four times, the runs after it once each.
        {"busy always",
         busy(modbus::kServerDeviceBusy, 1000),
         5,
         {busyText, "registers 5 to 6: exception 6 (server device busy)"},
         {{0, 3}, {5, 2}}},
        {"gateway path",
         firstRunRefused(modbus::kGatewayPathUnavailable),
         5,
         {"registers 0 to 2: exception 10 (gateway path unavailable)"},
         {{0, 3}, {5, 2}}},
        // Told for the whole run, never read register by register.
        {"device failure",
         firstRunRefused(modbus::kServerDeviceFailure),
         2,
         {"registers 0 to 2: exception 4 (server device failure)"},
         {{0, 3}, {5, 2}}},
        // An illegal address: register 1 refused alone, the rest in runs.
        {"register 1 refused",
         [](const auto& request, int) {
             const modbus::RegisterRun run = askedRun(request);
             const bool holds1 = run.first <= 1 && run.first + run.count > 1;
             return holds1 ? exceptionAnswer(request, 2) : goodAnswer(request);
         },
         5,
         {"register 1: exception 2 (illegal data address)"},
         {{0, 1}, {1, 1}, {2, 1}, {5, 2}}},
        // The length refused, every register alone answered: halved, not split to singles.
        {"length refused",
         [](const auto& request, int) {
             return askedRun(request).count > 2 ? exceptionAnswer(request, 2) : goodAnswer(request);
         },
         5,
         {},
         {{0, 1}, {1, 2}, {5, 2}}},
    };
    const DeviceMap map = readDeviceMap(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = dir / c.name;
        fs::create_directories(folder);
        const LinePair line(folder);
        std::map<std::uint16_t, int> asked;  // by first register
        std::mutex mutex;
        const FakeGateway gateway(line.simulatorEnd, [&](const std::vector<std::uint8_t>& request) {
            const std::lock_guard lock(mutex);
            return c.answer(request, asked[askedRun(request).first]++);
        });
        LinkTarget target;
        target.device = line.masterEnd.string();
        target.line = gatewayLine(19200, TParity::paEven, modbus::Framing::Rtu);
        // No case waits for silence: a long timeout only keeps a loaded machine from failing it.
        GatewayLink link(target, 3s);
        Poller poller(link, modbus::planPoll(map.readMap), 17, 3, 3s);

        const PollResult poll = poller.poll();
        EXPECT_EQ(poll.requests, c.requests);
        std::vector<std::string> problems;
        for (const PollProblem& p : poll.problems) {
            problems.push_back((p.count == 1 ? "register " + std::to_string(p.first)
                                             : "registers " + std::to_string(p.first) + " to " +
                                                   std::to_string(p.first + p.count - 1)) +
                               ": " + p.text);
        }
        EXPECT_EQ(problems, c.problems);
        EXPECT_EQ(poller.runs(), c.runsAfter);
        EXPECT_EQ(poll.values[4],
                  c.problems.size() == 2 ? std::nullopt : std::optional<std::uint16_t>(0x0606));
        // The next poll asks the runs as they now stand, busy or not.
        poller.poll();
        EXPECT_EQ(poller.runs(), c.runsAfter);
    }
}

// A gateway that takes 450 ms over its first answer while the monitor waits 200 ms: a timeout
// counted, said once with its likely causes, and the run goes on.
TEST_F(Monitor, ASlowFirstAnswerIsATimeoutAndTheLogGoesOn) {
    const LinePair line(dir.path());
    std::atomic<int> requests{0};
    const FakeGateway gateway(line.simulatorEnd, [&](const std::vector<std::uint8_t>& request) {
        if (requests++ == 0) std::this_thread::sleep_for(450ms);
        return goodAnswer(request);
    });
    const fs::path csv = dir / "log.csv";
    Child monitor(
        {VELMORA_CLI_PATH, "monitor", dir.path().string(), "--port", line.masterEnd.string(),
         "--timeout", "200", "--interval", "100", "--csv", csv.string()},
        dir / "monitor-err.txt");
    ASSERT_TRUE(waitForText(csv, ",6,2,9,\"Valves, left\",6,5,1542\r\n", 2))
        << contentOf(csv) << contentOf(dir / "monitor-err.txt");
    EXPECT_EQ(monitor.stop(SIGINT), 0);
    const std::string summary = monitor.line();
    // The late answer holds up the one after it too: at least one timeout, however many.
    EXPECT_EQ(summary.find(" 0 timeouts"), std::string::npos) << summary;
    // The pseudo-terminal carries the project's EVEN parity as 8N1, which the run says first.
    const std::string told = contentOf(dir / "monitor-err.txt");
    EXPECT_EQ(told.rfind("velmora-cli: warning: ", 0), 0u) << told;
    const std::string afterWarning = told.substr(told.find('\n') + 1);
    EXPECT_EQ(afterWarning.rfind("velmora-cli: no answer from unit 17 on ", 0), 0u) << told;
    EXPECT_EQ(test::countIn(dir / "monitor-err.txt", "\n"), 2u) << told;
}

// The rows of a CSV log after its header, without their time.
std::vector<std::string> logRows(const fs::path& csv) {
    std::istringstream lines(contentOf(csv));
    std::vector<std::string> rows;
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) rows.push_back(line.substr(line.find(',')));
    return rows;
}

TEST_F(Monitor, WithChangesTheLogHoldsARowOnlyWhenAValueChanges) {
    const int port = startTcp(dir.path());
    const fs::path csv = dir / "log.csv";
    Child monitor({VELMORA_CLI_PATH, "monitor", dir.path().string(), "--tcp", tcp(port), "--csv",
                   csv.string(), "--changes", "--interval", "50"},
                  dir / "monitor-err.txt");
    ASSERT_TRUE(waitForText(csv, ",6,2,9,\"Valves, left\",6,5,1541\r\n"));
    std::this_thread::sleep_for(300ms);  // polls that change nothing
    test::writeText(data(), R"({"1": {"out": [17, 34, 51]}, "2": {"out": [1, 2, 3, 4, 9, 8]}})");
    ASSERT_TRUE(waitForText(csv, ",6,2,9,\"Valves, left\",6,5,2057\r\n")) << contentOf(csv);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(monitor.stop(SIGINT), 0);
    const std::vector<std::string> expected = {",0,1,5,Drive,1,2,4386\r",
                                               ",1,1,5,Drive,,3,51\r",
                                               ",2,2,9,\"Valves, left\",1,2,258\r",
                                               ",5,2,9,\"Valves, left\",3,4,772\r",
                                               ",6,2,9,\"Valves, left\",6,5,1541\r",
                                               ",6,2,9,\"Valves, left\",6,5,2057\r"};
    EXPECT_EQ(logRows(csv), expected) << contentOf(csv);
}

// The simulator stopped and started again on the same port under a run with a log: the link
// lost and back is told and logged, the polls go on, and Ctrl+C still ends the run with the
// summary.
TEST_F(Monitor, ARunOutlivesTheGatewayGoneForAWhile) {
    const int port = startTcp(dir.path());
    const fs::path csv = dir / "log.csv";
    Child monitor({VELMORA_CLI_PATH, "monitor", dir.path().string(), "--tcp", tcp(port), "--csv",
                   csv.string(), "--interval", "50"},
                  dir / "monitor-err.txt");
    const std::string lastRow = ",6,2,9,\"Valves, left\",6,5,1541\r\n";
    ASSERT_TRUE(waitForText(csv, lastRow));
    simulator.reset();
    ASSERT_TRUE(waitForText(csv, ",,,,link lost: " + tcp(port) + ": ")) << contentOf(csv);
    std::this_thread::sleep_for(1500ms);  // attempts refused, each pause twice the one before
    const std::size_t before = test::countIn(csv, lastRow);
    startTcp(dir.path(), tcp(port));
    ASSERT_TRUE(waitForText(csv, ",,,,connected again to " + tcp(port) + " after "))
        << contentOf(csv);
    ASSERT_TRUE(waitForText(csv, lastRow, before + 2)) << contentOf(csv);
    EXPECT_EQ(monitor.stop(SIGINT), 0);
    const std::string summary = monitor.line();
    EXPECT_NE(summary.find("; link lost 1 time"), std::string::npos) << summary;

    // The loss as the system saw it (the connection closed, or reset), then each new reason.
    const std::string told = contentOf(dir / "monitor-err.txt");
    const std::string lost = told.substr(0, told.find('\n') + 1);
    EXPECT_EQ(lost.rfind("velmora-cli: " + tcp(port) + ": ", 0), 0u) << told;
    EXPECT_TRUE(lost.ends_with("; trying again in 0.5 s\n")) << told;
    EXPECT_NE(told.find("velmora-cli: Cannot connect to " + tcp(port) +
                        ": Connection refused; trying again in 1.0 s\n"),
              std::string::npos)
        << told;
    // A refusal repeated attempt after attempt is told once.
    EXPECT_EQ(test::countIn(dir / "monitor-err.txt", "Connection refused"), 1u) << told;
    // Each note is a row of the log's eight columns.
    std::istringstream lines(contentOf(csv));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("link lost") != std::string::npos) {
            EXPECT_EQ(std::count(line.begin(), line.end(), ','), 7) << line;
        }
    }
}

// The serial device vanishing (the far end of the pseudo-terminal gone, so the line fails with
// "Input/output error") and coming back at the same name: the port is opened again.
TEST_F(Monitor, ARunOutlivesTheSerialDeviceGoneForAWhile) {
    auto line = std::make_unique<LinePair>(dir.path());
    startSerial(line->simulatorEnd);
    const fs::path csv = dir / "log.csv";
    const std::string device = line->masterEnd.string();
    Child monitor({VELMORA_CLI_PATH, "monitor", dir.path().string(), "--port", device, "--csv",
                   csv.string(), "--interval", "50"},
                  dir / "monitor-err.txt");
    const std::string lastRow = ",6,2,9,\"Valves, left\",6,5,1541\r\n";
    ASSERT_TRUE(waitForText(csv, lastRow)) << contentOf(dir / "monitor-err.txt");
    simulator.reset();
    line.reset();
    ASSERT_TRUE(waitForText(csv, ",,,,link lost: " + device + ": ")) << contentOf(csv);
    const std::size_t before = test::countIn(csv, lastRow);
    std::this_thread::sleep_for(700ms);  // an attempt finds no device
    fs::remove(dir / "gateway");         // the links of a pair ended at once are left behind
    fs::remove(dir / "master");
    line = std::make_unique<LinePair>(dir.path());
    startSerial(line->simulatorEnd);
    ASSERT_TRUE(waitForText(csv, ",,,,opened again: " + device + " after "))
        << contentOf(csv) << contentOf(dir / "monitor-err.txt");
    ASSERT_TRUE(waitForText(csv, lastRow, before + 2)) << contentOf(csv);
    EXPECT_EQ(monitor.stop(SIGINT), 0);
    EXPECT_NE(contentOf(dir / "monitor-err.txt")
                  .find("Cannot open " + device + ": No such file or directory; trying again in "),
              std::string::npos)
        << contentOf(dir / "monitor-err.txt");
}

}  // namespace
}  // namespace velmora::cli
