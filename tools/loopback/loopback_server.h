// A small HTTP/1.1 server on 127.0.0.1 for tests, tools and benchmarks: it
// records every request as it arrived (header order included) and answers
// each with what its handler returns. Requests in absolute form, as a client
// sends them to a proxy, are answered the same way.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loopback_socket.h"

namespace rankora::tools {

struct HttpMessageHeader {
  std::string name;
  std::string value;
};

struct ReceivedRequest {
  std::string method;
  std::string target;  // as sent: "/path?query" or "http://host/path?query"
  std::vector<HttpMessageHeader> headers;
  std::string body;
  bool hasBody = false;  // a Content-Length or Transfer-Encoding was sent

  // The first header of that name (any case), or empty.
  std::string Header(const std::string& name) const;
  // The target's path and query, without scheme and host.
  std::string PathAndQuery() const;
};

struct Reply {
  int status = 200;
  std::string reason = "OK";
  std::vector<HttpMessageHeader> headers;
  std::string body;
  // Waits this long before answering (the wait ends early when the server
  // stops).
  std::chrono::milliseconds delay{0};
};

class LoopbackServer {
 public:
  using Handler = std::function<Reply(const ReceivedRequest&)>;

  // Listens on 127.0.0.1 at `port` (0: any free port).
  explicit LoopbackServer(Handler handler, int port = 0);
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  ~LoopbackServer();

  bool Listening() const { return listener_ != kNoSocket; }
  int Port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string Origin() const;
  // "127.0.0.1:<port>", a host for URLs.
  std::string Host() const;
  std::vector<ReceivedRequest> Requests() const;
  std::size_t RequestCount() const;

  // Stops listening and ends every connection.
  void Stop();

 private:
  void Accept();
  void Serve(SocketHandle connection);
  bool WaitDelay(std::chrono::milliseconds delay);

  Handler handler_;
  SocketHandle listener_ = kNoSocket;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  std::vector<ReceivedRequest> requests_;
  std::vector<SocketHandle> connections_;
  std::vector<std::pair<SocketHandle, std::thread>> workers_;  // by connection
  std::vector<SocketHandle> finished_;                         // connections whose thread has ended
  std::thread acceptor_;
};

}  // namespace rankora::tools
