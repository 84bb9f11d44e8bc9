#include "loopback_server.h"

#include <algorithm>
#include <cstring>

namespace rankora::tools {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string ReceivedRequest::Header(const std::string& name) const {
  for (const HttpMessageHeader& header : headers) {
    if (EqualsIgnoringCase(header.name, name)) return header.value;
  }
  return {};
}

std::string ReceivedRequest::PathAndQuery() const {
  const std::size_t scheme = target.find("://");
  if (scheme == std::string::npos) return target;
  const std::size_t path = target.find('/', scheme + 3);
  return path == std::string::npos ? "/" : target.substr(path);
}

LoopbackServer::LoopbackServer(Handler handler, int port) : handler_(std::move(handler)) {
  listener_ = ListenOnLoopback(port, port_);
  if (listener_ == kNoSocket) return;
  acceptor_ = std::thread([this] { Accept(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

std::string LoopbackServer::Origin() const { return "http://" + Host(); }

std::string LoopbackServer::Host() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<ReceivedRequest> LoopbackServer::Requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t LoopbackServer::RequestCount() const {
  const std::lock_guard lock(mutex_);
  return requests_.size();
}

void LoopbackServer::Stop() {
  if (stopping_.exchange(true)) return;
  {
    const std::lock_guard lock(mutex_);
    stopped_.notify_all();
    for (const SocketHandle connection : connections_) ShutdownConnection(connection);
  }
  if (listener_ != kNoSocket) StopListening(listener_);
  if (acceptor_.joinable()) acceptor_.join();
  if (listener_ != kNoSocket) CloseSocket(listener_);
  listener_ = kNoSocket;
  std::vector<std::pair<SocketHandle, std::thread>> workers;
  {
    const std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker.second.join();
}

void LoopbackServer::Accept() {
  while (!stopping_) {
    const SocketHandle connection = AcceptConnection(listener_);
    if (connection == kNoSocket) {
      if (stopping_) return;
      continue;
    }
    std::vector<std::thread> ended;
    {
      const std::lock_guard lock(mutex_);
      if (stopping_) {
        CloseSocket(connection);
        return;
      }
      // Threads of connections that have closed are joined as new ones come.
      for (const SocketHandle done : finished_) {
        const auto found =
            std::find_if(workers_.begin(), workers_.end(), [done](const auto& w) { return w.first == done; });
        if (found != workers_.end()) {
          ended.push_back(std::move(found->second));
          workers_.erase(found);
        }
      }
      finished_.clear();
      connections_.push_back(connection);
      workers_.emplace_back(connection, std::thread([this, connection] { Serve(connection); }));
    }
    for (std::thread& thread : ended) thread.join();
  }
}

bool LoopbackServer::WaitDelay(std::chrono::milliseconds delay) {
  std::unique_lock lock(mutex_);
  return !stopped_.wait_for(lock, delay, [this] { return stopping_.load(); });
}

void LoopbackServer::Serve(SocketHandle connection) {
  std::string buffer;
  char chunk[16384];
  bool open = true;
  while (open && !stopping_) {
    // The head, up to the blank line.
    std::size_t headEnd = std::string::npos;
    while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
      const std::ptrdiff_t got = ReceiveSome(connection, chunk, sizeof chunk);
      if (got <= 0) {
        open = false;
        break;
      }
      buffer.append(chunk, static_cast<std::size_t>(got));
    }
    if (!open) break;
    ReceivedRequest request;
    const std::string head = buffer.substr(0, headEnd);
    buffer.erase(0, headEnd + 4);
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t firstSpace = requestLine.find(' ');
    const std::size_t secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    while (lineEnd != std::string::npos) {
      const std::size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
      const std::size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      request.headers.push_back({line.substr(0, colon), value});
    }
    const std::string length = request.Header("Content-Length");
    request.hasBody = !length.empty() || !request.Header("Transfer-Encoding").empty();
    const std::size_t bodyLength = length.empty() ? 0 : std::stoul(length);
    while (buffer.size() < bodyLength) {
      const std::ptrdiff_t got = ReceiveSome(connection, chunk, sizeof chunk);
      if (got <= 0) {
        open = false;
        break;
      }
      buffer.append(chunk, static_cast<std::size_t>(got));
    }
    if (!open) break;
    request.body = buffer.substr(0, bodyLength);
    buffer.erase(0, bodyLength);
    {
      const std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const Reply reply = handler_(request);
    if (reply.delay.count() > 0 && !WaitDelay(reply.delay)) break;
    std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    bool hasLength = false;
    for (const HttpMessageHeader& header : reply.headers) {
      response += header.name + ": " + header.value + "\r\n";
      hasLength = hasLength || EqualsIgnoringCase(header.name, "Content-Length");
    }
    if (!hasLength) response += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    response += "\r\n";
    if (request.method != "HEAD") response += reply.body;
    open = SendAll(connection, response) && !EqualsIgnoringCase(request.Header("Connection"), "close");
  }
  const std::lock_guard lock(mutex_);
  connections_.erase(std::remove(connections_.begin(), connections_.end(), connection), connections_.end());
  finished_.push_back(connection);
  CloseSocket(connection);
}

}  // namespace rankora::tools
