#include "cli/socket_io.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora::cli::io {

namespace {

void setNonBlocking(Handle handle) {
    ::fcntl(handle, F_SETFD, FD_CLOEXEC);
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) | O_NONBLOCK);
}

std::string addressText(Handle socket, bool peer) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    const int rc = peer ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size)
                        : ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
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

using Addresses = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// The stream addresses of host:port (for a listener when `passive`); a failure is told as
// `failure` followed by host:port and the resolver's reason.
Addresses resolve(const std::string& host, const std::string& port, bool passive,
                  const std::string& failure) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (passive) hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        throw Error(failure + host + ":" + port + ": " + ::gai_strerror(rc));
    }
    return Addresses(found, ::freeaddrinfo);
}

Transfer outcome(ssize_t rc, bool reading) {
    if (rc > 0) return {Transfer::State::Done, static_cast<std::size_t>(rc), {}};
    if (rc == 0) {
        return reading ? Transfer{Transfer::State::Closed, 0, {}}
                       : Transfer{Transfer::State::Done, 0, {}};
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return {Transfer::State::WouldBlock, 0, {}};
    }
    if (errno == ECONNRESET || errno == EPIPE) return {Transfer::State::Closed, 0, {}};
    return {Transfer::State::Failed, 0, systemErrorText(errno)};
}

}  // namespace

Handle listenTcp(const std::string& host, const std::string& port, int backlog) {
    const Addresses addresses = resolve(host, port, true, "Cannot listen on ");
    int lastError = 0;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const Handle s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        const int yes = 1;
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(s, a->ai_addr, a->ai_addrlen) == 0 && ::listen(s, backlog) == 0) {
            setNonBlocking(s);
            return s;
        }
        lastError = errno;
        ::close(s);
    }
    throw Error("Cannot listen on " + host + ":" + port + ": " + systemErrorText(lastError));
}

Handle connectTcp(const std::string& host, const std::string& port,
                  std::chrono::milliseconds timeout) {
    const Addresses addresses = resolve(host, port, false, "Cannot connect to ");
    int lastError = ETIMEDOUT;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const Handle s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        setNonBlocking(s);
        const int yes = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        int error = 0;
        if (::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd p{s, POLLOUT, 0};
                const int rc = ::poll(&p, 1, static_cast<int>(timeout.count()));
                socklen_t size = sizeof error;
                error = ETIMEDOUT;
                if (rc > 0) ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size);
            }
        }
        if (error == 0) return s;
        lastError = error;
        ::close(s);
    }
    throw Error("Cannot connect to " + host + ":" + port + ": " + systemErrorText(lastError));
}

Handle acceptConnection(Handle listener, int sendBuffer) {
    const Handle client = ::accept(listener, nullptr, nullptr);
    if (client < 0) return kNoHandle;
    setNonBlocking(client);
    ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    return client;
}

std::string localAddress(Handle socket) { return addressText(socket, false); }
std::string peerAddress(Handle socket) { return addressText(socket, true); }

Transfer readSome(Handle handle, std::span<std::uint8_t> buffer) {
    return outcome(::read(handle, buffer.data(), buffer.size()), true);
}

Transfer writeSome(Handle handle, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {};
    return outcome(::write(handle, bytes.data(), bytes.size()), false);
}

void closeHandle(Handle handle) {
    if (handle != kNoHandle) ::close(handle);
}

void waitFor(std::vector<Watch>& watches, std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds;
    fds.reserve(watches.size());
    for (const Watch& w : watches) {
        fds.push_back({w.handle, static_cast<short>(POLLIN | (w.wantWrite ? POLLOUT : 0)), 0});
    }
    const int rc = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    if (rc < 0 && errno != EINTR)
        throw Error("Waiting for requests failed: " + systemErrorText(errno));
    for (std::size_t i = 0; i < watches.size(); ++i) {
        const short events = rc > 0 ? fds[i].revents : 0;
        watches[i].readable = (events & (POLLIN | POLLHUP | POLLERR)) != 0;
        watches[i].writable = (events & (POLLOUT | POLLERR)) != 0;
    }
}

}  // namespace velmora::cli::io
