#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The few system calls the simulator's and the monitor's loops make on sockets and lines, in one
// place: listening, connecting, accepting, reading and writing without blocking, closing, and
// waiting for any of them. socket_io_posix.cpp makes them on POSIX descriptors, socket_io_win32.cpp
// on Winsock sockets, serial port handles and event objects; the loops above are the same.
namespace velmora::cli::io {

// A socket, serial line or stop pipe (an event object on Windows) as the platform names it.
#ifdef _WIN32
using Handle = std::intptr_t;  // a SOCKET or a HANDLE; both are -1 when invalid
#else
using Handle = int;
#endif
inline constexpr Handle kNoHandle = -1;

// A TCP socket listening on `host`:`port` ("0" picks a free port), not blocking. Throws Error
// "Cannot listen on HOST:PORT: reason".
Handle listenTcp(const std::string& host, const std::string& port, int backlog);

// A TCP connection to `host`:`port`, made within `timeout`, not blocking, without delaying small
// writes. Throws Error "Cannot connect to HOST:PORT: reason".
Handle connectTcp(const std::string& host, const std::string& port,
                  std::chrono::milliseconds timeout);

// The next connection waiting on `listener`, not blocking, with a system send buffer of
// `sendBuffer` bytes; kNoHandle when none is waiting.
Handle acceptConnection(Handle listener, int sendBuffer);

// "HOST:PORT" ("[HOST]:PORT" for IPv6) of a socket's own address, or of its peer.
std::string localAddress(Handle socket);
std::string peerAddress(Handle socket);

// What one read or write did.
struct Transfer {
    enum class State { Done, WouldBlock, Closed, Failed };
    State state = State::Done;
    std::size_t bytes = 0;  // moved, for Done
    std::string error;      // the system's reason, for Failed
};

// Reads what has arrived, up to `buffer.size()` bytes, without waiting; Closed when the peer has
// closed its end.
Transfer readSome(Handle handle, std::span<std::uint8_t> buffer);

// Writes as much of `bytes` as goes without waiting.
Transfer writeSome(Handle handle, std::span<const std::uint8_t> bytes);

void closeHandle(Handle handle);

// One handle to wait on, and what it became.
struct Watch {
    Handle handle = kNoHandle;
    bool wantWrite = false;  // readable is always watched
    bool readable = false;   // set by waitFor: data, an end of stream or an error to read
    bool writable = false;
};

// Waits until one of `watches` is ready or `timeout` passes; an interrupted wait returns with
// nothing ready. Throws Error when waiting itself fails.
void waitFor(std::vector<Watch>& watches, std::chrono::milliseconds timeout);

}  // namespace velmora::cli::io
