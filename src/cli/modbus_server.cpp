#include "cli/modbus_server.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <list>
#include <optional>
#include <utility>
#include <vector>

#include "cli/gateway_line.h"
#include "cli/socket_io.h"
#include "cli/stop_signals.h"
#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora::cli {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Clients served at once; for a further one another connection gives way (see makeRoom), so
// neither descriptors nor memory grow and idle connections cannot lock masters out.
constexpr std::size_t kMaxClients = 32;
constexpr auto kIdleEvery = 200ms;
// Answers a client may leave unread before it is dropped: it is not reading them.
constexpr std::size_t kMaxUnsent = 64 * 1024;
// The system's send buffer of a connection, kept small so that answers a client leaves unread
// pile up here, where kMaxUnsent counts them, rather than in megabytes of system buffers.
constexpr int kSendBuffer = 16 * 1024;
// Bytes read from one connection in one round, so that a flood on one cannot starve the others.
constexpr std::size_t kReadChunk = 4096;

// Calls the idle event when its time has come.
class IdleClock {
public:
    explicit IdleClock(const ServerEvents& events) : events_(events) {}
    void tick() {
        const auto now = Clock::now();
        if (now - last_ < kIdleEvery) return;
        last_ = now;
        if (events_.idle) events_.idle();
    }

private:
    const ServerEvents& events_;
    Clock::time_point last_ = Clock::now();
};

void report(const ServerEvents& events, const modbus::SessionOutput& output,
            const std::string& client) {
    if (events.served && (!output.exchanges.empty() || !output.errors.empty())) {
        events.served(output, client);
    }
}

// One TCP client: its socket, the address it had, its requests in assembly, answers not yet sent.
struct Connection {
    Connection(io::Handle s, std::string address, modbus::SimulatedGateway& gateway)
        : socket(s), peer(std::move(address)), session(gateway, modbus::Framing::Tcp) {}
    io::Handle socket;
    std::string peer;
    modbus::GatewaySession session;
    std::vector<std::uint8_t> unsent;
    Clock::time_point connected = Clock::now();
    Clock::time_point lastHeard = connected;
    std::optional<Clock::time_point> lastRequest;  // of the last whole request
};

// Sends what the connection has pending, as far as it goes; false when the peer is gone.
bool flush(Connection& c, std::string& why) {
    while (!c.unsent.empty()) {
        const io::Transfer sent = io::writeSome(c.socket, c.unsent);
        if (sent.state == io::Transfer::State::WouldBlock) break;
        if (sent.state != io::Transfer::State::Done) {
            why = sent.state == io::Transfer::State::Closed ? "disconnected"
                                                            : "dropped: " + sent.error;
            return false;
        }
        c.unsent.erase(c.unsent.begin(),
                       c.unsent.begin() + static_cast<std::ptrdiff_t>(sent.bytes));
    }
    if (c.unsent.size() >= kMaxUnsent) {
        why = "dropped: it leaves its answers unread";
        return false;
    }
    return true;
}

// Reads what the connection sent and answers every whole request; false when it must go.
bool serveConnection(Connection& c, const ServerEvents& events, std::string& why) {
    std::array<std::uint8_t, kReadChunk> buffer;
    const io::Transfer got = io::readSome(c.socket, buffer);
    if (got.state == io::Transfer::State::WouldBlock) return true;
    if (got.state != io::Transfer::State::Done) {
        why = got.state == io::Transfer::State::Closed ? "disconnected" : "dropped: " + got.error;
        return false;
    }
    c.lastHeard = Clock::now();
    modbus::SessionOutput output = c.session.receive(std::span(buffer).first(got.bytes));
    if (!output.exchanges.empty()) c.lastRequest = c.lastHeard;
    c.unsent.insert(c.unsent.end(), output.reply.begin(), output.reply.end());
    report(events, output, c.peer);
    if (c.session.broken()) {
        flush(c, why);
        why = "dropped: a stream that is not Modbus TCP (" +
              (output.errors.empty() ? std::string("framing error") : output.errors.back()) + ")";
        return false;
    }
    return flush(c, why);
}

// The connection that gives way to a newcomer when every place is taken, and why: first the
// oldest of those that never sent a whole request, then the one whose last request lies furthest
// back, so that a master heard within the idle timeout goes only when nothing else is left.
std::pair<std::list<Connection>::iterator, std::string> makeRoom(std::list<Connection>& clients) {
    const auto rank = [](const Connection& c) {
        return c.lastRequest ? std::pair{1, *c.lastRequest} : std::pair{0, c.connected};
    };
    const auto chosen = std::min_element(
        clients.begin(), clients.end(),
        [&](const Connection& a, const Connection& b) { return rank(a) < rank(b); });
    return {chosen, chosen->lastRequest ? "it was idle longest" : "it had sent no request"};
}

void serveTcp(const ServerSettings& settings, modbus::SimulatedGateway& gateway,
              const ServerEvents& events, io::Handle stop) {
    const io::Handle listener =
        io::listenTcp(settings.host, settings.port, static_cast<int>(kMaxClients));
    if (events.listening) events.listening(io::localAddress(listener));

    std::list<Connection> clients;
    const auto drop = [&](std::list<Connection>::iterator c, const std::string& why) {
        if (events.notice) events.notice("client " + c->peer + " " + why);
        io::closeHandle(c->socket);
        return clients.erase(c);
    };
    IdleClock idle(events);
    try {
        for (;;) {
            std::vector<io::Watch> watches{{stop}, {listener}};
            for (const Connection& c : clients) watches.push_back({c.socket, !c.unsent.empty()});
            io::waitFor(watches, kIdleEvery);
            if (watches[0].readable) break;

            std::size_t at = 2;
            for (auto c = clients.begin(); c != clients.end(); ++at) {
                std::string why;
                const bool keep = (!watches[at].writable || flush(*c, why)) &&
                                  (!watches[at].readable || serveConnection(*c, events, why));
                c = keep ? std::next(c) : drop(c, why);
            }
            const auto now = Clock::now();
            for (auto c = clients.begin(); c != clients.end();) {
                c = now - c->lastHeard < settings.idleTimeout
                        ? std::next(c)
                        : drop(c, "closed after " + std::to_string(settings.idleTimeout.count()) +
                                      " s without a request");
            }
            if (watches[1].readable) {
                for (io::Handle s;
                     (s = io::acceptConnection(listener, kSendBuffer)) != io::kNoHandle;) {
                    const std::string peer = io::peerAddress(s);
                    if (clients.size() >= kMaxClients) {
                        const auto [victim, why] = makeRoom(clients);
                        drop(victim, "closed for " + peer + ": " + std::to_string(kMaxClients) +
                                         " clients were connected and " + why);
                    }
                    clients.emplace_back(s, peer, gateway);
                    if (events.notice) events.notice("client " + peer + " connected");
                }
            }
            idle.tick();
        }
    } catch (...) {
        for (const Connection& c : clients) io::closeHandle(c.socket);
        io::closeHandle(listener);
        throw;
    }
    for (const Connection& c : clients) io::closeHandle(c.socket);
    io::closeHandle(listener);
}

// Writes all of `bytes` to the line, waiting while its buffer is full.
void writeLine(io::Handle line, std::span<const std::uint8_t> bytes, const std::string& device) {
    while (!bytes.empty()) {
        const io::Transfer sent = io::writeSome(line, bytes);
        if (sent.state == io::Transfer::State::Done) {
            bytes = bytes.subspan(sent.bytes);
        } else if (sent.state == io::Transfer::State::WouldBlock) {
            std::vector<io::Watch> watch{{line, true}};
            io::waitFor(watch, 1000ms);
            if (!watch[0].writable) throw Error(device + ": the line does not take the answer");
        } else {
            throw Error(device + ": " + (sent.error.empty() ? "the line was hung up" : sent.error));
        }
    }
}

void serveSerial(const ServerSettings& settings, modbus::SimulatedGateway& gateway,
                 const ServerEvents& events, io::Handle stop) {
    const SerialLine line(settings.device, settings.line, events.warning);
    if (events.listening) {
        events.listening(settings.device + " (Modbus " +
                         std::string(modbus::framingName(settings.serialFraming)) + ", " +
                         describeLineSettings(line.settings()) + ")");
    }
    modbus::GatewaySession session(gateway, settings.serialFraming);
    const bool rtu = settings.serialFraming == modbus::Framing::Rtu;
    const auto gap = rtuFrameGap(settings.line.baudRate);
    IdleClock idle(events);
    std::array<std::uint8_t, kReadChunk> buffer;
    for (;;) {
        std::vector<io::Watch> watches{{stop}, {line.handle()}};
        io::waitFor(watches, rtu && session.pending() ? gap : kIdleEvery);
        if (watches[0].readable) break;
        modbus::SessionOutput output;
        if (watches[1].readable) {
            const io::Transfer got = io::readSome(line.handle(), buffer);
            if (got.state == io::Transfer::State::Failed) {
                throw Error(settings.device + ": " + got.error);
            }
            if (got.state == io::Transfer::State::Done) {
                output = session.receive(std::span(buffer).first(got.bytes));
            } else if (got.state == io::Transfer::State::Closed) {
                // A terminal whose other end is gone reads as closed again and again.
                throw Error(settings.device + ": the line was hung up");
            }
        } else if (rtu && session.pending()) {
            output = session.silence();
        }
        writeLine(line.handle(), output.reply, settings.device);
        report(events, output, settings.device);
        idle.tick();
    }
}

}  // namespace

void serveModbus(const ServerSettings& settings, modbus::SimulatedGateway& gateway,
                 const ServerEvents& events) {
    const StopSignals stopSignals;
    if (settings.tcp) {
        serveTcp(settings, gateway, events, stopSignals.handle());
    } else {
        serveSerial(settings, gateway, events, stopSignals.handle());
    }
}

}  // namespace velmora::cli
