// The socket calls the loopback server makes, over the platform's own sockets
// (a folder per platform: posix/, win32/). Every call reports failure in its
// result and never raises a signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rankora::tools {

// A socket of the platform: a descriptor or a Winsock SOCKET.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// A listening TCP socket on 127.0.0.1 at `port` (0: any free port), with the
// port it got in `boundPort`; kNoSocket when it cannot listen.
SocketHandle ListenOnLoopback(int port, int& boundPort);

// The next connection, without Nagle's delay; kNoSocket when accepting
// failed or the listener was stopped.
SocketHandle AcceptConnection(SocketHandle listener);

// A connection to 127.0.0.1 at `port`, for clients of the server;
// kNoSocket when nothing accepts it.
SocketHandle ConnectToLoopback(int port);

// Makes a thread blocked in AcceptConnection on `listener` return. The
// listener stays open until CloseSocket.
void StopListening(SocketHandle listener);

// Up to `size` bytes; 0 when the peer closed, below 0 on failure.
std::ptrdiff_t ReceiveSome(SocketHandle socket, char* buffer, std::size_t size);

// True when all of `data` was sent.
bool SendAll(SocketHandle socket, std::string_view data);

// Ends both directions, so a thread blocked receiving on it returns.
void ShutdownConnection(SocketHandle socket);

void CloseSocket(SocketHandle socket);

}  // namespace rankora::tools
