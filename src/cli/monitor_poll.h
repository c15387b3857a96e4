#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/gateway_line.h"
#include "cli/serial_line.h"
#include "cli/socket_io.h"
#include "modbus/frame_assembler.h"
#include "modbus/poll_plan.h"
#include "modbus/read_client.h"

namespace velmora::cli {

// Where the monitor reaches the gateway: a TCP address, or a serial device with its line.
struct LinkTarget {
    std::optional<std::string> tcpHost;  // set for TCP, with tcpPort
    std::string tcpPort;
    std::string device;  // serial
    GatewayLine line;    // serial

    // "HOST:PORT" or the device, as messages name it.
    std::string name() const { return tcpHost ? *tcpHost + ":" + tcpPort : device; }
    modbus::Framing framing() const { return tcpHost ? modbus::Framing::Tcp : line.framing; }
};

// The connection to the gateway: a TCP socket, made again after a stream that cannot be followed,
// or a serial line opened exclusively through the port layer.
class GatewayLink {
public:
    // Connects or opens at once; throws Error with the system's reason when it cannot.
    GatewayLink(LinkTarget target, std::chrono::milliseconds timeout);
    ~GatewayLink();
    GatewayLink(const GatewayLink&) = delete;
    GatewayLink& operator=(const GatewayLink&) = delete;

    io::Handle handle() const;
    const LinkTarget& target() const { return target_; }
    // Drops what arrived unasked (a late answer, noise) before a request goes out.
    void discardInput();
    // Writes all of `bytes`; throws Error when the line or connection fails.
    void send(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout);
    // Reads what has arrived into `buffer`; 0 when nothing has. Throws Error when the connection
    // was closed or the line failed.
    std::size_t receive(std::span<std::uint8_t> buffer);
    // TCP: closes the connection and makes a new one (answers still under way are dropped).
    void reconnect();
    // Closes the connection or the line and makes or opens it again, as the constructor does;
    // after a failure the link is closed until a later reopen() succeeds.
    void reopen();

private:
    LinkTarget target_;
    std::chrono::milliseconds timeout_;
    io::Handle socket_ = io::kNoHandle;
    std::unique_ptr<SerialLine> serial_;
};

// What one request got.
struct RequestResult {
    modbus::RegisterRun run;
    enum class Kind { Values, Exception, Damaged, Timeout } kind = Kind::Timeout;
    std::vector<std::uint16_t> values;
    std::uint8_t exception = 0;
    std::string error;        // Damaged: what was wrong
    bool checkError = false;  // Damaged by its CRC or LRC
    std::chrono::microseconds roundTrip{0};
};

// A register, or a run of them, that did not read, and why.
struct PollProblem {
    std::uint16_t first = 0;
    std::uint16_t count = 1;
    std::string text;  // "exception 2 (illegal data address)", "no answer within 1000 ms", ...
};

// One poll of the whole read map.
struct PollResult {
    std::chrono::system_clock::time_point time;
    modbus::RegisterValues values;  // parallel to the plan's registers
    std::vector<PollProblem> problems;
    std::size_t requests = 0;
    std::chrono::microseconds duration{0};
    // True when nothing has ever answered and a request went unanswered: the poll stopped there.
    bool silent = false;
};

// Counts over all polls, for the status line and the summary.
struct PollStats {
    std::size_t polls = 0;
    std::size_t requests = 0;
    std::size_t timeouts = 0;
    std::size_t checkErrors = 0;                     // CRC or LRC
    std::size_t damaged = 0;                         // other answers that could not be used
    std::size_t linkLosses = 0;                      // connections or lines lost during the run
    std::map<std::uint8_t, std::size_t> exceptions;  // by code
    std::chrono::microseconds worst{0};
    std::deque<std::chrono::microseconds> recent;  // the last round trips, for the median

    std::chrono::microseconds median() const;
};

// Polls the read map over a link: each run in one request, waiting for its answer up to the
// timeout. A run refused as an illegal data address is asked again register by register in the
// same poll and split for the polls after, so the refused register is told and the rest still
// shown. A run answered "busy" (exceptions 5, 6, 10 and 11) is asked again as it is after a
// pause; other exceptions are told for the whole run.
class Poller {
public:
    Poller(GatewayLink& link, modbus::PollPlan plan, std::uint8_t unit, std::uint8_t function,
           std::chrono::milliseconds timeout);

    PollResult poll();

    // A handle that becomes readable when the poll should end at once (a stop signal's pipe).
    void setStopHandle(io::Handle handle) { stopHandle_ = handle; }
    // True once the stop handle became readable; the poll ended there.
    bool stopped() const { return stopped_; }
    // Counts a connection or line lost, for the status line and the summary.
    void countLinkLoss() { ++stats_.linkLosses; }

    const modbus::PollPlan& plan() const { return plan_; }
    const std::vector<modbus::RegisterRun>& runs() const { return runs_; }
    const PollStats& stats() const { return stats_; }
    bool everAnswered() const { return everAnswered_; }
    std::uint8_t unit() const { return unit_; }
    std::uint8_t function() const { return function_; }
    std::chrono::milliseconds timeout() const { return timeout_; }

    // Sends one read request and waits for its answer.
    RequestResult request(const modbus::RegisterRun& run);

private:
    // Waits `pause` unless a stop comes first; false when it did.
    bool backOff(std::chrono::milliseconds pause);
    // Requests `run`, and again after a pause while it is answered "busy" and `retriesLeft`
    // (cleared once a run stays busy through every retry).
    RequestResult requestAgainWhileBusy(const modbus::RegisterRun& run, PollResult& poll,
                                        bool& retriesLeft);
    // Reads the registers of `run` one by one into `poll`; returns the runs for the next polls.
    std::vector<modbus::RegisterRun> readAlone(const modbus::RegisterRun& run, PollResult& poll);
    void count(const RequestResult& result);
    void store(const RequestResult& result, PollResult& poll) const;
    std::size_t positionOf(std::uint16_t index) const;

    GatewayLink& link_;
    modbus::PollPlan plan_;
    std::vector<modbus::RegisterRun> runs_;
    std::uint8_t unit_;
    std::uint8_t function_;
    std::chrono::milliseconds timeout_;
    std::uint16_t transaction_ = 0;
    bool everAnswered_ = false;
    io::Handle stopHandle_ = io::kNoHandle;
    bool stopped_ = false;
    PollStats stats_;
};

// "no answer within 1000 ms", "exception 2 (illegal data address)", or the damage.
std::string problemText(const RequestResult& result, std::chrono::milliseconds timeout);

}  // namespace velmora::cli
