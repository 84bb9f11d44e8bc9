#include "components/http/curl_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "automation/winhttp_errors.h"
#include "loopback_server.h"
#include "text/ascii.h"

namespace rankora::components::http {
namespace {

using tools::LoopbackServer;
using tools::ReceivedRequest;
using tools::Reply;

std::string HeaderOf(const Response& response, std::string_view name) {
  for (const Header& header : response.headers) {
    if (text::EqualsIgnoreAsciiCase(header.name, name, text::ByteText::Raw)) return header.value;
  }
  return "<none>";
}

class CurlTransferTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureCurl(); }

  // A request straight to the server, whatever proxy the environment names.
  RequestSettings Request(const std::string& method, const std::string& path) const {
    RequestSettings settings;
    settings.method = method;
    settings.url = server_.Origin() + path;
    settings.proxySetting = 1;
    return settings;
  }

  Response Run(const RequestSettings& settings) {
    std::atomic<bool> abort{false};
    return Transfer(settings, abort);
  }

  LoopbackServer server_{[](const ReceivedRequest& request) {
    Reply reply;
    if (request.PathAndQuery() == "/slow") {
      reply.delay = std::chrono::milliseconds(20000);
      return reply;
    }
    if (request.PathAndQuery() == "/missing") {
      reply.status = 404;
      reply.reason = "Not Found";
    }
    reply.headers = {{"X-First", "1"}, {"Content-Type", "text/plain"}, {"X-Asked", request.Header("X-Asked")}};
    reply.body = request.method + " " + request.target + " " + request.body;
    return reply;
  }};
};

TEST_F(CurlTransferTest, GetsTheStatusHeadersAndBody) {
  RequestSettings settings = Request("GET", "/page?a=1");
  settings.headers.push_back({"X-Asked", "yes"});
  const Response response = Run(settings);
  EXPECT_EQ(response.code, 0);
  EXPECT_EQ(response.words, "");
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.statusText, "OK");
  EXPECT_EQ(HeaderOf(response, "x-first"), "1");
  EXPECT_EQ(HeaderOf(response, "X-Asked"), "yes");  // the header went out
  EXPECT_EQ(response.body, "GET /page?a=1 ");
  EXPECT_EQ(response.redirectedUrl, "");
  ASSERT_EQ(server_.RequestCount(), 1u);
  EXPECT_FALSE(server_.Requests()[0].hasBody);

  // Any status is an answer, not a failure.
  const Response missing = Run(Request("GET", "/missing"));
  EXPECT_EQ(missing.code, 0);
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.statusText, "Not Found");
}

TEST_F(CurlTransferTest, PostsItsBodyWithTheGivenOrTheDefaultType) {
  RequestSettings settings = Request("POST", "/form");
  settings.body = "a=1&b=2";
  EXPECT_EQ(Run(settings).body, "POST /form a=1&b=2");
  EXPECT_EQ(server_.Requests().back().body, "a=1&b=2");
  EXPECT_EQ(server_.Requests().back().Header("Content-Type"), "text/plain; Charset=UTF-8");
  EXPECT_EQ(server_.Requests().back().Header("Expect"), "");

  settings.headers.push_back({"Content-Type", "application/x-www-form-urlencoded"});
  EXPECT_EQ(Run(settings).code, 0);
  EXPECT_EQ(server_.Requests().back().Header("Content-Type"), "application/x-www-form-urlencoded");

  // A POST without a body still says it has one, of no bytes.
  const Response empty = Run(Request("POST", "/empty"));
  EXPECT_EQ(empty.code, 0);
  EXPECT_TRUE(server_.Requests().back().hasBody);
  EXPECT_EQ(server_.Requests().back().Header("Content-Length"), "0");
}

TEST_F(CurlTransferTest, EndsAStalledExchangeAsTimedOut) {
  RequestSettings settings = Request("GET", "/slow");
  settings.sendTimeout = 1000;
  settings.receiveTimeout = 1000;
  const Response response = Run(settings);
  EXPECT_EQ(response.code, automation::winhttp::kTimedOut);
  EXPECT_NE(response.words, "");
  EXPECT_EQ(response.status, 0);
}

TEST_F(CurlTransferTest, EndsAnAbortedExchangeAsCancelled) {
  std::atomic<bool> abort{true};
  const Response response = Transfer(Request("GET", "/slow"), abort);
  EXPECT_EQ(response.code, automation::winhttp::kCancelled);
  EXPECT_NE(response.words, "");
}

TEST_F(CurlTransferTest, ReportsARefusedConnection) {
  LoopbackServer closed([](const ReceivedRequest&) { return Reply{}; });
  const std::string origin = closed.Origin();
  closed.Stop();
  RequestSettings settings = Request("GET", "/");
  settings.url = origin + "/";
  const Response response = Run(settings);
  EXPECT_EQ(response.code, automation::winhttp::kCannotConnect);
  EXPECT_NE(response.words, "");
  EXPECT_EQ(response.status, 0);
  EXPECT_EQ(response.body, "");
}

TEST_F(CurlTransferTest, GoesThroughTheGivenProxyExceptForWhatItBypasses) {
  LoopbackServer proxy([](const ReceivedRequest& request) {
    Reply reply;
    reply.body = "proxied " + request.target;
    return reply;
  });
  RequestSettings settings;
  settings.method = "GET";
  settings.url = "http://weight.example/y";
  settings.proxySetting = 2;
  settings.proxy = proxy.Host();
  const Response response = Run(settings);
  EXPECT_EQ(response.code, 0) << response.words;
  EXPECT_EQ(response.body, "proxied http://weight.example/y");
  ASSERT_EQ(proxy.RequestCount(), 1u);

  settings.url = server_.Origin() + "/direct";
  settings.proxyBypass = "<local>";
  EXPECT_EQ(Run(settings).body, "GET /direct ");
  EXPECT_EQ(proxy.RequestCount(), 1u);
}

}  // namespace
}  // namespace rankora::components::http
