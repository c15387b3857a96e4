#include "cli/monitor_poll.h"

#include <algorithm>
#include <array>
#include <thread>

#include "core/error.h"
#include "modbus/protocol.h"

namespace velmora::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// Round trips kept for the median: enough for a steady figure, bounded for a day-long run.
constexpr std::size_t kRecentRoundTrips = 4096;

// A run answered "busy" (or another exception that means "not now") is asked again up to this
// many times in the same poll, after a pause that doubles from the first.
constexpr int kBusyRetries = 3;
constexpr milliseconds kFirstBusyPause{100};

// The bytes a whole answer with `count` registers takes on the line in `framing`.
std::size_t answerLength(modbus::Framing framing, std::size_t count) {
    const std::size_t binary = 1 + 2 + 2 * count;  // unit, function, byte count, data
    switch (framing) {
        case modbus::Framing::Rtu:
            return binary + 2;
        case modbus::Framing::Ascii:
            return 1 + 2 * (binary + 1) + 2;
        case modbus::Framing::Tcp:
            return 6 + binary;
    }
    return binary;
}

}  // namespace

GatewayLink::GatewayLink(LinkTarget target, milliseconds timeout)
    : target_(std::move(target)), timeout_(timeout) {
    if (target_.tcpHost) {
        socket_ = io::connectTcp(*target_.tcpHost, target_.tcpPort, timeout_);
    } else {
        serial_ = std::make_unique<SerialLine>(target_.device, target_.line.line);
    }
}

GatewayLink::~GatewayLink() { io::closeHandle(socket_); }

io::Handle GatewayLink::handle() const { return serial_ ? serial_->handle() : socket_; }

void GatewayLink::discardInput() {
    std::array<std::uint8_t, 512> buffer;
    for (int i = 0; i < 64; ++i) {
        const io::Transfer got = io::readSome(handle(), buffer);
        if (got.state != io::Transfer::State::Done) return;
    }
}

void GatewayLink::send(std::span<const std::uint8_t> bytes, milliseconds timeout) {
    while (!bytes.empty()) {
        const io::Transfer sent = io::writeSome(handle(), bytes);
        if (sent.state == io::Transfer::State::Done) {
            bytes = bytes.subspan(sent.bytes);
        } else if (sent.state == io::Transfer::State::WouldBlock) {
            std::vector<io::Watch> watch{{handle(), true}};
            io::waitFor(watch, timeout);
            if (!watch[0].writable) throw Error(target_.name() + ": the request cannot be sent");
        } else {
            throw Error(target_.name() + ": " +
                        (sent.error.empty() ? "the connection was closed" : sent.error));
        }
    }
}

std::size_t GatewayLink::receive(std::span<std::uint8_t> buffer) {
    const io::Transfer got = io::readSome(handle(), buffer);
    switch (got.state) {
        case io::Transfer::State::Done:
            return got.bytes;
        case io::Transfer::State::WouldBlock:
            return 0;
        case io::Transfer::State::Closed:
            throw Error(target_.name() + (serial_ ? ": the line was hung up"
                                                  : ": the gateway closed the connection"));
        case io::Transfer::State::Failed:
            break;
    }
    throw Error(target_.name() + ": " + got.error);
}

void GatewayLink::reopen() {
    if (target_.tcpHost) {
        reconnect();
        return;
    }
    serial_.reset();
    serial_ = std::make_unique<SerialLine>(target_.device, target_.line.line);
}

void GatewayLink::reconnect() {
    if (serial_) return;
    io::closeHandle(socket_);
    socket_ = io::kNoHandle;
    socket_ = io::connectTcp(*target_.tcpHost, target_.tcpPort, timeout_);
}

microseconds PollStats::median() const {
    if (recent.empty()) return microseconds{0};
    std::vector<microseconds> sorted(recent.begin(), recent.end());
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

Poller::Poller(GatewayLink& link, modbus::PollPlan plan, std::uint8_t unit, std::uint8_t function,
               milliseconds timeout)
    : link_(link),
      plan_(std::move(plan)),
      runs_(plan_.runs),
      unit_(unit),
      function_(function),
      timeout_(timeout) {}

RequestResult Poller::request(const modbus::RegisterRun& run) {
    const modbus::Framing framing = link_.target().framing();
    const modbus::ReadRequest request{unit_, function_, run.first, run.count, ++transaction_};
    RequestResult result;
    result.run = run;
    if (framing != modbus::Framing::Tcp) link_.discardInput();
    modbus::FrameAssembler assembler(framing, modbus::Expect::Answers);
    const auto start = Clock::now();
    const auto deadline = start + timeout_;
    link_.send(modbus::encodeReadRequest(framing, request), timeout_);

    const bool rtu = framing == modbus::Framing::Rtu;
    const milliseconds gap = rtuFrameGap(link_.target().line.line.baudRate);
    std::size_t received = 0;
    std::array<std::uint8_t, 1024> buffer;
    // Takes what the assembler made; true once the request has its outcome.
    const auto settle = [&](const std::vector<modbus::Assembled>& frames, bool atSilence) {
        for (const modbus::Assembled& frame : frames) {
            const modbus::ReadAnswer answer = modbus::decodeReadAnswer(request, framing, frame);
            switch (answer.kind) {
                case modbus::ReadAnswer::Kind::Foreign:
                    continue;
                case modbus::ReadAnswer::Kind::Values:
                    result.kind = RequestResult::Kind::Values;
                    result.values = answer.values;
                    break;
                case modbus::ReadAnswer::Kind::Exception:
                    result.kind = RequestResult::Kind::Exception;
                    result.exception = answer.exception;
                    break;
                case modbus::ReadAnswer::Kind::Damaged: {
                    result.kind = RequestResult::Kind::Damaged;
                    result.error = answer.error;
                    result.checkError = answer.checkError;
                    // A frame ended by the silence before an answer's length is one cut short.
                    const std::size_t whole = answerLength(framing, run.count);
                    if (atSilence && received < whole && received != 5) {
                        result.error = "an answer cut short (" + std::to_string(received) + " of " +
                                       std::to_string(whole) + " bytes)";
                        result.checkError = false;
                    }
                    break;
                }
            }
            return true;
        }
        return false;
    };

    bool done = false;
    while (!done) {
        const auto now = Clock::now();
        if (now >= deadline) break;
        auto wait = duration_cast<milliseconds>(deadline - now) + milliseconds(1);
        if (rtu && assembler.pending()) wait = std::min(wait, gap);
        std::vector<io::Watch> watch{{link_.handle()}};
        if (stopHandle_ != io::kNoHandle) watch.push_back({stopHandle_});
        io::waitFor(watch, wait);
        if (watch.size() > 1 && watch[1].readable) {
            stopped_ = true;
            break;
        }
        if (watch[0].readable) {
            const std::size_t got = link_.receive(buffer);
            if (got == 0) continue;
            received += got;
            done = settle(assembler.feed(std::span(buffer).first(got)), false);
            if (assembler.broken()) {
                // A stream that cannot be followed: the next request needs a new connection.
                if (!done) {
                    result.kind = RequestResult::Kind::Damaged;
                    result.error = "a stream that is not Modbus TCP";
                    done = true;
                }
                link_.reconnect();
            }
        } else if (rtu && assembler.pending()) {
            done = settle(assembler.silence(), true);
        }
    }
    result.roundTrip = duration_cast<microseconds>(Clock::now() - start);
    if (!done && received > 0) {
        result.kind = RequestResult::Kind::Damaged;
        result.error = "an answer cut short (" + std::to_string(received) + " of " +
                       std::to_string(answerLength(framing, run.count)) + " bytes)";
    }
    // Whatever is still under way on the connection would be taken for the next answer.
    if (!done && framing == modbus::Framing::Tcp) link_.reconnect();
    count(result);
    return result;
}

void Poller::count(const RequestResult& result) {
    ++stats_.requests;
    switch (result.kind) {
        case RequestResult::Kind::Timeout:
            ++stats_.timeouts;
            return;
        case RequestResult::Kind::Damaged:
            ++(result.checkError ? stats_.checkErrors : stats_.damaged);
            return;
        case RequestResult::Kind::Exception:
            ++stats_.exceptions[result.exception];
            break;
        case RequestResult::Kind::Values:
            break;
    }
    everAnswered_ = true;
    stats_.worst = std::max(stats_.worst, result.roundTrip);
    stats_.recent.push_back(result.roundTrip);
    if (stats_.recent.size() > kRecentRoundTrips) stats_.recent.pop_front();
}

std::size_t Poller::positionOf(std::uint16_t index) const {
    const auto found = std::lower_bound(
        plan_.registers.begin(), plan_.registers.end(), index,
        [](const modbus::PolledRegister& r, std::uint16_t i) { return r.index < i; });
    return static_cast<std::size_t>(found - plan_.registers.begin());
}

void Poller::store(const RequestResult& result, PollResult& poll) const {
    if (result.kind == RequestResult::Kind::Values) {
        std::size_t at = positionOf(result.run.first);
        for (const std::uint16_t value : result.values) {
            if (at < poll.values.size()) poll.values[at++] = value;
        }
        return;
    }
    poll.problems.push_back({result.run.first, result.run.count, problemText(result, timeout_)});
}

bool Poller::backOff(milliseconds pause) {
    if (stopHandle_ == io::kNoHandle) {
        std::this_thread::sleep_for(pause);
        return true;
    }
    std::vector<io::Watch> watch{{stopHandle_}};
    io::waitFor(watch, pause);
    stopped_ = watch[0].readable;
    return !stopped_;
}

RequestResult Poller::requestAgainWhileBusy(const modbus::RegisterRun& run, PollResult& poll,
                                            bool& retriesLeft) {
    RequestResult answer = request(run);
    ++poll.requests;
    milliseconds pause = kFirstBusyPause;
    for (int retry = 0; retriesLeft && answer.kind == RequestResult::Kind::Exception &&
                        modbus::isTransientException(answer.exception);
         ++retry) {
        if (retry == kBusyRetries) {
            // Still busy: the runs after this one in the poll are asked once each.
            retriesLeft = false;
            break;
        }
        if (!backOff(pause)) break;
        pause *= 2;
        answer = request(run);
        ++poll.requests;
    }
    return answer;
}

std::vector<modbus::RegisterRun> Poller::readAlone(const modbus::RegisterRun& run,
                                                   PollResult& poll) {
    std::vector<std::uint16_t> refused;
    for (std::uint16_t k = 0; k < run.count && !stopped_; ++k) {
        const RequestResult single = request({static_cast<std::uint16_t>(run.first + k), 1});
        ++poll.requests;
        store(single, poll);
        if (single.kind == RequestResult::Kind::Exception &&
            single.exception == modbus::kIllegalDataAddress) {
            refused.push_back(single.run.first);
        }
    }
    return stopped_ ? std::vector{run} : modbus::splitRun(run, refused);
}

PollResult Poller::poll() {
    PollResult result;
    result.time = std::chrono::system_clock::now();
    result.values.assign(plan_.registers.size(), std::nullopt);
    const auto start = Clock::now();
    std::vector<modbus::RegisterRun> next;
    bool retriesLeft = true;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const modbus::RegisterRun run = runs_[i];
        const RequestResult answer =
            stopped_ ? RequestResult{} : requestAgainWhileBusy(run, result, retriesLeft);
        if (stopped_) {
            next.insert(next.end(), runs_.begin() + static_cast<std::ptrdiff_t>(i), runs_.end());
            break;
        }
        if (answer.kind == RequestResult::Kind::Timeout && !everAnswered_) {
            // Nothing has ever answered: the other requests would only wait as long again.
            store(answer, result);
            result.silent = true;
            next.insert(next.end(), runs_.begin() + static_cast<std::ptrdiff_t>(i), runs_.end());
            break;
        }
        if (answer.kind != RequestResult::Kind::Exception || run.count == 1 ||
            answer.exception != modbus::kIllegalDataAddress) {
            // Any other refusal says nothing about single registers: the run stays as it is.
            store(answer, result);
            next.push_back(run);
            continue;
        }
        // Find the registers refused as illegal addresses; the others still read in this poll.
        const auto split = readAlone(run, result);
        next.insert(next.end(), split.begin(), split.end());
    }
    runs_ = std::move(next);
    result.duration = duration_cast<microseconds>(Clock::now() - start);
    ++stats_.polls;
    return result;
}

std::string problemText(const RequestResult& result, milliseconds timeout) {
    switch (result.kind) {
        case RequestResult::Kind::Timeout:
            return "no answer within " + std::to_string(timeout.count()) + " ms";
        case RequestResult::Kind::Exception:
            return modbus::exceptionText(result.exception);
        case RequestResult::Kind::Damaged:
            return result.error;
        case RequestResult::Kind::Values:
            break;
    }
    return {};
}

}  // namespace velmora::cli
