#include "loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

namespace rankora::tools {
namespace {

SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// Winsock is started once for the process, before the first socket, and
// cleaned up when the process ends.
class Winsock {
 public:
  Winsock() { started_ = ::WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  ~Winsock() {
    if (started_) ::WSACleanup();
  }
  bool Started() const { return started_; }

 private:
  WSADATA data_{};
  bool started_ = false;
};

bool StartWinsock() {
  static const Winsock winsock;
  return winsock.Started();
}

}  // namespace

SocketHandle ListenOnLoopback(int port, int& boundPort) {
  if (!StartWinsock()) return kNoSocket;
  // Not inherited by programs the tests start.
  const SOCKET listener = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (listener == INVALID_SOCKET) return kNoSocket;
  // SO_REUSEADDR means something else on Windows (taking over a port in
  // use); exclusive use is the platform's equivalent of the POSIX default.
  const BOOL yes = TRUE;
  ::setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes), sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 64) != 0) {
    ::closesocket(listener);
    return kNoSocket;
  }
  int length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  boundPort = ntohs(address.sin_port);
  return static_cast<SocketHandle>(listener);
}

SocketHandle AcceptConnection(SocketHandle listener) {
  const SOCKET connection = ::accept(Native(listener), nullptr, nullptr);
  if (connection == INVALID_SOCKET) return kNoSocket;
  const BOOL yes = TRUE;
  ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
  return static_cast<SocketHandle>(connection);
}

SocketHandle ConnectToLoopback(int port) {
  if (!StartWinsock()) return kNoSocket;
  const SOCKET connection = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (connection == INVALID_SOCKET) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<u_short>(port));
  if (::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::closesocket(connection);
    return kNoSocket;
  }
  const BOOL yes = TRUE;
  ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&yes), sizeof yes);
  return static_cast<SocketHandle>(connection);
}

// Shutting a listening socket down does not end a blocked accept on Windows,
// and closing it under the acceptor would free a handle still in use; a
// connection of our own wakes the acceptor, which sees the server stopping.
void StopListening(SocketHandle listener) {
  sockaddr_in address{};
  int length = sizeof address;
  if (::getsockname(Native(listener), reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
  const SOCKET waker = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (waker == INVALID_SOCKET) return;
  ::connect(waker, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  ::closesocket(waker);
}

std::ptrdiff_t ReceiveSome(SocketHandle socket, char* buffer, std::size_t size) {
  return ::recv(Native(socket), buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
}

bool SendAll(SocketHandle socket, std::string_view data) {
  while (!data.empty()) {
    const int sent =
        ::send(Native(socket), data.data(), static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX)), 0);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

// After shutdown a new receive fails at once, but Winsock does not promise to
// end one that is already waiting (Wine's does not: it waits until the peer
// closes, which a client keeping the connection alive does only after its
// idle time-out). Cancelling the socket's pending I/O ends that one.
void ShutdownConnection(SocketHandle socket) {
  ::shutdown(Native(socket), SD_BOTH);
  ::CancelIoEx(reinterpret_cast<HANDLE>(Native(socket)), nullptr);
}

void CloseSocket(SocketHandle socket) { ::closesocket(Native(socket)); }

}  // namespace rankora::tools
