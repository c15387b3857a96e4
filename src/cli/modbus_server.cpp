#include "cli/modbus_server.h"

#include <fcntl.h>
#include <modbus/modbus.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <memory>
#include <span>
#include <vector>

#include "core/error.h"

namespace velmora::cli {

namespace {

// Clients served at once; a further one is turned away, so neither descriptors nor memory grow.
constexpr std::size_t kMaxClients = 32;
constexpr auto kIdleEvery = std::chrono::milliseconds(200);
// How long another slave on the line may take to answer, in microseconds.
constexpr std::uint32_t kOtherSlaveAnswerWait = 20'000;

// The write end of the pipe the stop signals write to, so the select loop wakes up.
int stopPipeWrite = -1;

extern "C" void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipeWrite, &byte, 1);
}

// Routes SIGINT and SIGTERM to a pipe while it lives; restores the previous handlers after.
class StopSignals {
public:
    StopSignals() {
        if (::pipe(fds_) != 0) throw Error("Cannot create a pipe: " + systemErrorText(errno));
        for (const int fd : fds_) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fds_[1], F_SETFL, O_NONBLOCK);
        stopPipeWrite = fds_[1];
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &previousInt_);
        ::sigaction(SIGTERM, &action, &previousTerm_);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &previousPipe_);
    }
    ~StopSignals() {
        ::sigaction(SIGINT, &previousInt_, nullptr);
        ::sigaction(SIGTERM, &previousTerm_, nullptr);
        ::sigaction(SIGPIPE, &previousPipe_, nullptr);
        stopPipeWrite = -1;
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const { return fds_[0]; }

private:
    int fds_[2] = {-1, -1};
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    struct sigaction previousPipe_ {};
};

struct ContextFree {
    void operator()(modbus_t* ctx) const {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using Context = std::unique_ptr<modbus_t, ContextFree>;

struct MappingFree {
    void operator()(modbus_mapping_t* mapping) const { modbus_mapping_free(mapping); }
};
using Mapping = std::unique_ptr<modbus_mapping_t, MappingFree>;

std::string modbusError() { return modbus_strerror(errno); }

// Every register address, so that the library's own range checks never disagree with the map's.
Mapping wholeRegisterSpace() {
    Mapping mapping(modbus_mapping_new(0, 0, 0x10000, 0x10000));
    if (!mapping) throw Error("Cannot allocate the register space: " + modbusError());
    return mapping;
}

// Answers one received request; false when the answer could not be sent.
bool answer(modbus_t* ctx, modbus_mapping_t* mapping, const std::uint8_t* request, int length,
            bool tcp, SimulatedGateway& gateway, const ServerEvents& events) {
    const int header = modbus_get_header_length(ctx);
    const int checkBytes = tcp ? 0 : 2;
    if (length <= header + checkBytes) return true;
    const std::uint8_t unit = request[header - 1];
    const Answer reply = gateway.handle(
        unit, std::span(request + header, static_cast<std::size_t>(length - header - checkBytes)));
    if (!reply.writes.empty() && events.wrote) events.wrote(reply, unit);
    switch (reply.kind) {
        case Answer::Kind::Ignore:
            return true;
        case Answer::Kind::Exception:
            return modbus_reply_exception(ctx, request, reply.exception) != -1;
        case Answer::Kind::Reply:
            std::copy(reply.values.begin(), reply.values.end(),
                      mapping->tab_registers + reply.address);
            std::copy(reply.values.begin(), reply.values.end(),
                      mapping->tab_input_registers + reply.address);
            return modbus_reply(ctx, request, length, mapping) != -1;
    }
    return true;
}

// Calls the idle event when its time has come.
class IdleClock {
public:
    explicit IdleClock(const ServerEvents& events) : events_(events) {}
    void tick() {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < kIdleEvery) return;
        last_ = now;
        if (events_.idle) events_.idle();
    }

private:
    const ServerEvents& events_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Waits until one of `fds` is readable or the idle period passes; returns the readable set.
fd_set waitReadable(const std::vector<int>& fds) {
    fd_set readable;
    FD_ZERO(&readable);
    int highest = -1;
    for (const int fd : fds) {
        FD_SET(fd, &readable);
        highest = std::max(highest, fd);
    }
    timeval timeout{0, static_cast<suseconds_t>(kIdleEvery.count() * 1000)};
    if (::select(highest + 1, &readable, nullptr, nullptr, &timeout) < 0) {
        if (errno != EINTR) throw Error("Waiting for requests failed: " + systemErrorText(errno));
        FD_ZERO(&readable);
    }
    return readable;
}

// "HOST:PORT" of a socket's own or peer address.
std::string addressText(int fd, bool peer) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size)
                        : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    if (rc == 0) {
        ::getnameinfo(reinterpret_cast<sockaddr*>(&address), size, host, sizeof host, port,
                      sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    }
    const std::string hostText =
        address.ss_family == AF_INET6 ? "[" + std::string(host) + "]" : host;
    return hostText + ":" + port;
}

void serveTcp(const ServerSettings& settings, SimulatedGateway& gateway, const ServerEvents& events,
              int stopFd) {
    Context ctx(modbus_new_tcp_pi(settings.host.c_str(), settings.port.c_str()));
    if (!ctx)
        throw Error("Cannot serve on " + settings.host + ":" + settings.port + ": " +
                    modbusError());
    int server = modbus_tcp_pi_listen(ctx.get(), static_cast<int>(kMaxClients));
    if (server == -1) {
        throw Error("Cannot listen on " + settings.host + ":" + settings.port + ": " +
                    modbusError());
    }
    const Mapping mapping = wholeRegisterSpace();
    if (events.listening) events.listening(addressText(server, false));

    std::vector<int> clients;
    const auto drop = [&](int client, const std::string& why) {
        if (events.notice) events.notice("client " + addressText(client, true) + " " + why);
        ::close(client);
        clients.erase(std::find(clients.begin(), clients.end(), client));
    };
    IdleClock idle(events);
    std::uint8_t request[MODBUS_MAX_ADU_LENGTH];
    for (;;) {
        std::vector<int> watched{stopFd, server};
        watched.insert(watched.end(), clients.begin(), clients.end());
        const fd_set readable = waitReadable(watched);
        if (FD_ISSET(stopFd, &readable)) break;
        if (FD_ISSET(server, &readable)) {
            const int client = modbus_tcp_pi_accept(ctx.get(), &server);
            if (client != -1) {
                ::fcntl(client, F_SETFD, FD_CLOEXEC);
                clients.push_back(client);
                if (clients.size() > kMaxClients) {
                    drop(client, "turned away: " + std::to_string(kMaxClients) +
                                     " clients are connected already");
                } else if (events.notice) {
                    events.notice("client " + addressText(client, true) + " connected");
                }
            }
        }
        for (const int client : std::vector<int>(clients)) {
            if (!FD_ISSET(client, &readable)) continue;
            modbus_set_socket(ctx.get(), client);
            const int length = modbus_receive(ctx.get(), request);
            if (length == -1) {
                drop(client, errno == ECONNRESET ? "disconnected" : "dropped: " + modbusError());
            } else if (length > 0 &&
                       !answer(ctx.get(), mapping.get(), request, length, true, gateway, events)) {
                drop(client, "dropped: " + modbusError());
            }
        }
        idle.tick();
    }
    for (const int client : std::vector<int>(clients)) ::close(client);
    modbus_set_socket(ctx.get(), server);  // closed with the context
}

void serveRtu(const ServerSettings& settings, SimulatedGateway& gateway, const ServerEvents& events,
              int stopFd) {
    Context ctx(modbus_new_rtu(settings.device.c_str(), settings.baud, settings.parity, 8, 1));
    if (!ctx) throw Error("Cannot use " + settings.device + ": " + modbusError());
    // The library then drops frames for other slaves before their check bytes are computed.
    if (modbus_set_slave(ctx.get(), gateway.unitId()) == -1 || modbus_connect(ctx.get()) == -1) {
        throw Error("Cannot open " + settings.device + ": " + modbusError());
    }
    const Mapping mapping = wholeRegisterSpace();
    if (events.listening) events.listening(settings.device);

    IdleClock idle(events);
    std::uint8_t request[MODBUS_MAX_ADU_LENGTH];
    const int device = modbus_get_socket(ctx.get());
    for (;;) {
        const fd_set readable = waitReadable({stopFd, device});
        if (FD_ISSET(stopFd, &readable)) break;
        if (FD_ISSET(device, &readable)) {
            const int length = modbus_receive(ctx.get(), request);
            if (length == -1) {
                // A damaged or cut frame is dropped; a device that went away ends the session.
                if (errno == ECONNRESET || errno == EIO || errno == EBADF || errno == ENXIO) {
                    throw Error(settings.device + ": " + modbusError());
                }
                modbus_flush(ctx.get());
            } else if (length > 0) {
                answer(ctx.get(), mapping.get(), request, length, false, gateway, events);
            } else {
                // A frame for another slave: the library now takes the next frame for that
                // slave's answer and drops it. Waiting for that answer here, briefly, keeps a
                // master's next request from being dropped when no such slave answers.
                modbus_set_response_timeout(ctx.get(), 0, kOtherSlaveAnswerWait);
                modbus_receive(ctx.get(), request);
            }
        }
        idle.tick();
    }
}

}  // namespace

void serveModbus(const ServerSettings& settings, SimulatedGateway& gateway,
                 const ServerEvents& events) {
    const StopSignals stop;
    if (settings.tcp) {
        serveTcp(settings, gateway, events, stop.fd());
    } else {
        serveRtu(settings, gateway, events, stop.fd());
    }
}

}  // namespace velmora::cli
