#include "cli/socket_io.h"

// Winsock first: windows.h alone would bring the old socket declarations.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>

#include "core/error.h"

namespace velmora::cli::io {

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait that also watches serial lines or events looks at them: Windows has no one
// call that waits on sockets, serial lines and events together.
constexpr auto kPollSlice = std::chrono::milliseconds(2);

// Starts Winsock once for the process; it stays up until the process ends.
void startWinsock() {
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data{};
        if (const int rc = WSAStartup(MAKEWORD(2, 2), &data); rc != 0) {
            throw Error("Cannot start Windows Sockets: " + nativeErrorText(rc));
        }
    });
}

// The handles that are sockets: a SOCKET and a HANDLE are both plain numbers to the loops, and
// each needs its own calls.
std::set<Handle>& sockets() {
    static std::set<Handle> all;
    return all;
}

bool isSocket(Handle handle) { return sockets().count(handle) != 0; }

Handle adopt(SOCKET s) {
    u_long yes = 1;
    ioctlsocket(s, FIONBIO, &yes);
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    const auto handle = static_cast<Handle>(s);
    sockets().insert(handle);
    return handle;
}

SOCKET asSocket(Handle handle) { return static_cast<SOCKET>(handle); }
HANDLE asHandle(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

std::string addressText(Handle socket, bool peer) {
    sockaddr_storage address{};
    int size = sizeof address;
    const int rc =
        peer ? getpeername(asSocket(socket), reinterpret_cast<sockaddr*>(&address), &size)
             : getsockname(asSocket(socket), reinterpret_cast<sockaddr*>(&address), &size);
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    if (rc == 0) {
        getnameinfo(reinterpret_cast<sockaddr*>(&address), size, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    }
    const std::string hostText =
        address.ss_family == AF_INET6 ? "[" + std::string(host) + "]" : host;
    return hostText + ":" + port;
}

using Addresses = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// The stream addresses of host:port (for a listener when `passive`); a failure is told as
// `failure` followed by host:port and the resolver's reason.
Addresses resolve(const std::string& host, const std::string& port, bool passive,
                  const std::string& failure) {
    startWinsock();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (passive) hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        throw Error(failure + host + ":" + port + ": " + nativeErrorText(rc));
    }
    return Addresses(found, freeaddrinfo);
}

Transfer socketOutcome(int rc, bool reading) {
    if (rc > 0) return {Transfer::State::Done, static_cast<std::size_t>(rc), {}};
    if (rc == 0) {
        return reading ? Transfer{Transfer::State::Closed, 0, {}}
                       : Transfer{Transfer::State::Done, 0, {}};
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK || error == WSAEINTR) return {Transfer::State::WouldBlock, 0, {}};
    if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN) {
        return {Transfer::State::Closed, 0, {}};
    }
    return {Transfer::State::Failed, 0, nativeErrorText(error)};
}

// One read or write on a serial line, which the port layer opens for overlapped use; with the
// port's timeouts a read returns at once with what has arrived, a write when it is handed over.
Transfer lineTransfer(Handle handle, void* data, std::size_t size, bool reading) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) {
        return {Transfer::State::Failed, 0, nativeErrorText(static_cast<int>(GetLastError()))};
    }
    const auto count = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD moved = 0;
    BOOL ok = reading ? ReadFile(asHandle(handle), data, count, &moved, &overlapped)
                      : WriteFile(asHandle(handle), data, count, &moved, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        ok = GetOverlappedResult(asHandle(handle), &overlapped, &moved, TRUE);
    }
    const DWORD error = ok ? 0 : GetLastError();
    CloseHandle(overlapped.hEvent);
    if (!ok) return {Transfer::State::Failed, 0, nativeErrorText(static_cast<int>(error))};
    if (moved == 0 && reading) return {Transfer::State::WouldBlock, 0, {}};
    return {Transfer::State::Done, moved, {}};
}

// Whether a serial line has bytes to read, or an event is set; a handle that is neither (a line
// that went away) reads as ready, so that its read reports the failure.
bool handleReady(Handle handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(asHandle(handle), &errors, &status)) return status.cbInQue > 0;
    return WaitForSingleObject(asHandle(handle), 0) != WAIT_TIMEOUT;
}

}  // namespace

Handle listenTcp(const std::string& host, const std::string& port, int backlog) {
    const Addresses addresses = resolve(host, port, true, "Cannot listen on ");
    int lastError = 0;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            lastError = WSAGetLastError();
            continue;
        }
        // Windows lets a second listener share a port with SO_REUSEADDR; make the port ours.
        const BOOL yes = TRUE;
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
        if (bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 && listen(s, backlog) == 0) {
            return adopt(s);
        }
        lastError = WSAGetLastError();
        closesocket(s);
    }
    throw Error("Cannot listen on " + host + ":" + port + ": " + nativeErrorText(lastError));
}

Handle connectTcp(const std::string& host, const std::string& port,
                  std::chrono::milliseconds timeout) {
    const Addresses addresses = resolve(host, port, false, "Cannot connect to ");
    int lastError = WSAETIMEDOUT;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            lastError = WSAGetLastError();
            continue;
        }
        const Handle handle = adopt(s);
        const BOOL yes = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
        int error = 0;
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                // select, not WSAPoll: WSAPoll does not report a refused connection.
                fd_set writable;
                fd_set failed;
                FD_ZERO(&writable);
                FD_ZERO(&failed);
                FD_SET(s, &writable);
                FD_SET(s, &failed);
                timeval limit{static_cast<long>(timeout.count() / 1000),
                              static_cast<long>(timeout.count() % 1000 * 1000)};
                const int rc = select(0, nullptr, &writable, &failed, &limit);
                error = WSAETIMEDOUT;
                if (rc > 0) {
                    int size = sizeof error;
                    error = 0;
                    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
                    if (error == 0 && FD_ISSET(s, &failed)) error = WSAECONNREFUSED;
                }
            }
        }
        if (error == 0) return handle;
        lastError = error;
        closeHandle(handle);
    }
    throw Error("Cannot connect to " + host + ":" + port + ": " + nativeErrorText(lastError));
}

Handle acceptConnection(Handle listener, int sendBuffer) {
    const SOCKET client = accept(asSocket(listener), nullptr, nullptr);
    if (client == INVALID_SOCKET) return kNoHandle;
    setsockopt(client, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBuffer),
               sizeof sendBuffer);
    return adopt(client);
}

std::string localAddress(Handle socket) { return addressText(socket, false); }
std::string peerAddress(Handle socket) { return addressText(socket, true); }

Transfer readSome(Handle handle, std::span<std::uint8_t> buffer) {
    if (!isSocket(handle)) return lineTransfer(handle, buffer.data(), buffer.size(), true);
    const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), 1u << 30));
    return socketOutcome(recv(asSocket(handle), reinterpret_cast<char*>(buffer.data()), size, 0),
                         true);
}

Transfer writeSome(Handle handle, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return {};
    if (!isSocket(handle)) {
        return lineTransfer(handle, const_cast<std::uint8_t*>(bytes.data()), bytes.size(), false);
    }
    const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), 1u << 30));
    return socketOutcome(
        send(asSocket(handle), reinterpret_cast<const char*>(bytes.data()), size, 0), false);
}

void closeHandle(Handle handle) {
    if (handle == kNoHandle) return;
    if (sockets().erase(handle) != 0) {
        closesocket(asSocket(handle));
    } else {
        CloseHandle(asHandle(handle));
    }
}

void waitFor(std::vector<Watch>& watches, std::chrono::milliseconds timeout) {
    std::vector<WSAPOLLFD> polled;
    std::vector<std::size_t> socketAt;  // the watch of each polled socket
    bool othersWatched = false;
    for (std::size_t i = 0; i < watches.size(); ++i) {
        watches[i].readable = watches[i].writable = false;
        if (isSocket(watches[i].handle)) {
            polled.push_back(
                {asSocket(watches[i].handle),
                 static_cast<SHORT>(POLLRDNORM | (watches[i].wantWrite ? POLLWRNORM : 0)), 0});
            socketAt.push_back(i);
        } else {
            othersWatched = true;
        }
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        bool ready = false;
        for (Watch& w : watches) {
            if (isSocket(w.handle)) continue;
            // A serial line takes what is written at once: the port layer waits for the write.
            w.writable = w.wantWrite;
            w.readable = handleReady(w.handle);
            ready = ready || w.readable || w.writable;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        auto slice =
            ready ? std::chrono::milliseconds(0) : std::max(left, std::chrono::milliseconds(0));
        if (othersWatched) slice = std::min(slice, kPollSlice);
        int rc = 0;
        if (!polled.empty()) {
            rc = WSAPoll(polled.data(), static_cast<ULONG>(polled.size()),
                         static_cast<INT>(slice.count()));
            if (rc == SOCKET_ERROR) {
                throw Error("Waiting for requests failed: " + nativeErrorText(WSAGetLastError()));
            }
        } else if (slice.count() > 0) {
            Sleep(static_cast<DWORD>(slice.count()));
        }
        for (std::size_t k = 0; rc > 0 && k < polled.size(); ++k) {
            const SHORT events = polled[k].revents;
            watches[socketAt[k]].readable = (events & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
            watches[socketAt[k]].writable = (events & (POLLWRNORM | POLLERR)) != 0;
        }
        if (ready || rc > 0 || Clock::now() >= deadline) return;
    }
}

}  // namespace velmora::cli::io
