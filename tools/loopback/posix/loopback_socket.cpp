#include "loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace rankora::tools {
namespace {

int Descriptor(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

SocketHandle ListenOnLoopback(int port, int& boundPort) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return kNoSocket;
  const int yes = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 64) != 0) {
    ::close(listener);
    return kNoSocket;
  }
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  boundPort = ntohs(address.sin_port);
  return listener;
}

SocketHandle AcceptConnection(SocketHandle listener) {
  const int connection = ::accept4(Descriptor(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (connection < 0) return kNoSocket;
  const int yes = 1;
  ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return connection;
}

SocketHandle ConnectToLoopback(int port) {
  const int connection = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connection < 0) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(connection);
    return kNoSocket;
  }
  const int yes = 1;
  ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  return connection;
}

// Shutting a listening socket down makes a blocked accept fail at once.
void StopListening(SocketHandle listener) { ::shutdown(Descriptor(listener), SHUT_RDWR); }

std::ptrdiff_t ReceiveSome(SocketHandle socket, char* buffer, std::size_t size) {
  return ::recv(Descriptor(socket), buffer, size, 0);
}

bool SendAll(SocketHandle socket, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(Descriptor(socket), data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void ShutdownConnection(SocketHandle socket) { ::shutdown(Descriptor(socket), SHUT_RDWR); }

void CloseSocket(SocketHandle socket) { ::close(Descriptor(socket)); }

}  // namespace rankora::tools
