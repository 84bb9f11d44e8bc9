#include "components/http/winhttp_request.h"

#include <gtest/gtest.h>

#include "automation/dispatch.h"
#include "automation/reading.h"
#include "loopback_server.h"

namespace rankora::components {
namespace {

using namespace automation;

HRESULT Raised() { return LastCall().code == DISP_E_EXCEPTION ? LastCall().excep.code : LastCall().code; }

class WinHttpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Create(request_, kWinHttpRequestProgId)); }

  tools::LoopbackServer server_{[](const tools::ReceivedRequest& request) {
    tools::Reply reply;
    reply.headers = {{"X-First", "1"}, {"Set-Cookie", "a=1"}, {"X-Last", "2"}};
    reply.body = request.method + " " + request.target + " " + request.body;
    return reply;
  }};
  Object request_;
};

TEST_F(WinHttpRequestTest, RefusesCallsOutOfOrder) {
  CallMethod(request_, "SetRequestHeader", {"A", "1"});
  EXPECT_EQ(Raised(), MakeCode(0x80072F44));
  CallMethod(request_, "Send");
  EXPECT_EQ(Raised(), MakeCode(0x80072F44));
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/"});
  for (const char* member : {"Status", "StatusText", "ResponseText", "ResponseBody", "ResponseStream"}) {
    ReadProperty(request_, member);
    EXPECT_EQ(Raised(), MakeCode(0x80072F45)) << member;
  }
  CallMethod(request_, "GetAllResponseHeaders");
  EXPECT_EQ(Raised(), MakeCode(0x80072F45));
  CallMethod(request_, "Send");
  EXPECT_EQ(LastCall().code, S_OK);
  CallMethod(request_, "SetRequestHeader", {"A", "1"});
  EXPECT_EQ(Raised(), MakeCode(0x80072F46));
  CallMethod(request_, "Abort");
  EXPECT_EQ(LastCall().code, S_OK);
  ReadProperty(request_, "Status");
  EXPECT_EQ(Raised(), MakeCode(0x80072F45));
}

TEST_F(WinHttpRequestTest, OpensOnlyHttpAddresses) {
  for (const char* url : {"ftp://x/", "www.a.com", "", "file:///etc/passwd"}) {
    CallMethod(request_, "Open", {"GET", url});
    EXPECT_EQ(Raised(), MakeCode(0x80072EE6)) << url;
  }
  CallMethod(request_, "Open", {"GET", "HTTPS://example.invalid/"});
  EXPECT_EQ(LastCall().code, S_OK);
}

TEST_F(WinHttpRequestTest, TakesTheAsynchronousFlagAsABooleanOrANumber) {
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/n", 1});
  CallMethod(request_, "Send");
  EXPECT_TRUE(CallBoolMethod(request_, "WaitForResponse", {-1}));
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "GET /n ");
  CallMethod(request_, "Open", {"PUT", server_.Origin() + "/b", false});
  CallMethod(request_, "Send", {Variant::Array(SafeArray::Bytes(std::vector<std::uint8_t>{'o', 'k'}))});
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "PUT /b ok");
  EXPECT_TRUE(CallBoolMethod(request_, "WaitForResponse"));
  EXPECT_EQ(GetBytes(ReadProperty(request_, "ResponseBody")).size(), 9u);
}

TEST_F(WinHttpRequestTest, ListsResponseHeadersInTheOrderReceived) {
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/h"});
  CallMethod(request_, "Send");
  EXPECT_EQ(CallTextMethod(request_, "GetAllResponseHeaders"),
            "X-First: 1\r\nSet-Cookie: a=1\r\nX-Last: 2\r\nContent-Length: 7\r\n");
  EXPECT_EQ(CallTextMethod(request_, "GetResponseHeader", {"x-last"}), "2");
  CallMethod(request_, "GetResponseHeader", {"X-None"});
  EXPECT_EQ(Raised(), MakeCode(0x80072F76));
  const Object stream = ReadObjectProperty(request_, "ResponseStream");
  EXPECT_EQ(ReadNumberProperty(stream, "Size"), 7);
  EXPECT_EQ(GetBytes(CallVariantMethod(stream, "Read", {3})), (std::vector<std::uint8_t>{'G', 'E', 'T'}));
}

TEST_F(WinHttpRequestTest, KeepsItsOptions) {
  EXPECT_NE(GetText(ReadProperty(request_, "Option", {0})).find("Rankora"), std::string::npos);
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {2})), 65001);
  EXPECT_TRUE(GetBool(ReadProperty(request_, "Option", {6})));
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {14})), 10);
  EXPECT_TRUE(WriteProperty(request_, "Option", {0, "Agent"}));
  EXPECT_EQ(GetText(ReadProperty(request_, "Option", {0})), "Agent");
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/u"});
  EXPECT_EQ(GetText(ReadProperty(request_, "Option", {1})), server_.Origin() + "/u");
  EXPECT_FALSE(WriteProperty(request_, "Option", {1, "http://other/"}));
  ReadProperty(request_, "Option", {3});
  EXPECT_EQ(Raised(), E_NOTIMPL);
  EXPECT_FALSE(WriteProperty(request_, "Option", {0, std::vector<std::uint8_t>{1}}));
  EXPECT_EQ(LastCall().code, DISP_E_BADVARTYPE);
}

TEST_F(WinHttpRequestTest, KeepsToTheSecureProtocolsItIsGiven) {
  // TLS 1.2 and 1.3 until told otherwise.
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x2800);
  EXPECT_TRUE(WriteProperty(request_, "Option", {9, 0x800}));
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x800);
  EXPECT_TRUE(WriteProperty(request_, "Option", {9, 0x2000}));
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x2000);
  // SSL, which curl no longer speaks, drops out beside TLS.
  EXPECT_TRUE(WriteProperty(request_, "Option", {9, 0xA8}));
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x80);
  EXPECT_TRUE(WriteProperty(request_, "Option", {9, 0x2A80}));
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x2A80);
  // Refused, and the protocols stay: SSL alone, nothing, an unknown flag, and
  // a gap curl would fill with the version between.
  EXPECT_TRUE(WriteProperty(request_, "Option", {9, 0x2800}));
  for (const int refused : {0x20, 0, 0x4000, 0x2800 | 0x1, 0x880}) {
    EXPECT_FALSE(WriteProperty(request_, "Option", {9, refused})) << refused;
    EXPECT_EQ(Raised(), E_INVALIDARG) << refused;
  }
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x2800);
  // Kept across requests, and a plain request goes through with it.
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/tls"});
  CallMethod(request_, "Send");
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "GET /tls ");
  EXPECT_EQ(GetNumber(ReadProperty(request_, "Option", {9})), 0x2800);
}

TEST_F(WinHttpRequestTest, ChecksTimeoutsProxyAndCredentials) {
  CallMethod(request_, "SetTimeouts", {0, 60000, 30000, 30000});
  EXPECT_EQ(LastCall().code, S_OK);
  CallMethod(request_, "SetTimeouts", {0, -2, 0, 0});
  EXPECT_EQ(Raised(), E_INVALIDARG);
  CallMethod(request_, "SetProxy", {2});
  EXPECT_EQ(Raised(), E_INVALIDARG);
  CallMethod(request_, "SetProxy", {1});
  EXPECT_EQ(LastCall().code, S_OK);
  CallMethod(request_, "SetCredentials", {"u", "p", 0});
  EXPECT_EQ(Raised(), MakeCode(0x80072F44));
  CallMethod(request_, "SetClientCertificate", {"LOCAL_MACHINE\\Personal\\x"});
  EXPECT_EQ(LastCall().code, S_OK);
  CallMethod(request_, "SetAutoLogonPolicy", {0});
  EXPECT_EQ(LastCall().code, S_OK);
}

TEST_F(WinHttpRequestTest, HasNoReadyStateMembers) {
  EXPECT_FALSE(WriteProperty(request_, "onreadystatechange", {Object()}));
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
}

TEST_F(WinHttpRequestTest, ReportsAServerThatIsNotThere) {
  tools::LoopbackServer gone([](const tools::ReceivedRequest&) { return tools::Reply{}; });
  const std::string origin = gone.Origin();
  gone.Stop();
  CallMethod(request_, "Open", {"GET", origin + "/", true});
  CallMethod(request_, "Send");
  EXPECT_FALSE(CallBoolMethod(request_, "WaitForResponse", {5}));
  EXPECT_EQ(Raised(), MakeCode(0x80072EFD));
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "");
}

TEST_F(WinHttpRequestTest, EscapesWhatAUrlCannotHold) {
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/getbrinfo.php?url= www.a.com/&_1"});
  CallMethod(request_, "Send");
  EXPECT_EQ(server_.Requests().back().target, "/getbrinfo.php?url=%20www.a.com/&_1");
}

// A server that redirects /from with the status the path after it names
// ("/from/303"), answers /page/<name> with the page of that name, and
// anything else with what it received.
class WinHttpExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Create(request_, kWinHttpRequestProgId)); }

  tools::LoopbackServer server_{[](const tools::ReceivedRequest& request) {
    tools::Reply reply;
    const std::string path = request.PathAndQuery();
    if (path.starts_with("/from/")) {
      reply.status = std::stoi(path.substr(6));
      reply.reason = "Redirect";
      reply.headers = {{"Location", "/to"}};
    } else if (path == "/page/utf8") {
      reply.headers = {{"Content-Type", "text/html"}};
      reply.body = "<p>\xE6\x9D\x83\xE9\x87\x8D 9</p>";  // 权重 9 in UTF-8
    } else if (path == "/page/gbk") {
      reply.headers = {{"Content-Type", "text/html"}};
      reply.body = "<p>\xC8\xA8\xD6\xD8 9</p>";  // 权重 9 in GBK
    } else if (path == "/page/latin1") {
      reply.headers = {{"Content-Type", "text/html; charset=iso-8859-1"}};
      reply.body = "<p>caf\xE9</p>";
    } else {
      reply.body = request.method + " " + request.PathAndQuery() + " " + request.body;
    }
    return reply;
  }};
  Object request_;
};

// RFC 7231 6.4.2 to 6.4.4, as WinHTTP follows them: a POST answered by 301,
// 302 or 303 goes on as a GET without its body.
TEST_F(WinHttpExchangeTest, FollowsARedirectedPostAsAGetWithoutItsBody) {
  for (const char* status : {"301", "302", "303"}) {
    CallMethod(request_, "Open", {"POST", server_.Origin() + "/from/" + status, false});
    CallMethod(request_, "Send", {"a=1"});
    ASSERT_EQ(LastCall().code, S_OK) << status;
    EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "GET /to ") << status;
    const tools::ReceivedRequest followed = server_.Requests().back();
    EXPECT_EQ(followed.method, "GET") << status;
    EXPECT_FALSE(followed.hasBody) << status;
  }
}

// Wine's dlls/winhttp/tests/winhttp.c ("POST /redirect", answered by 307, is
// read again as "POST /temporary" with its body): 307 keeps method and body.
TEST_F(WinHttpExchangeTest, FollowsA307WithTheSameMethodAndBody) {
  CallMethod(request_, "Open", {"POST", server_.Origin() + "/from/307", false});
  CallMethod(request_, "Send", {"a=1"});
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "POST /to a=1");
}

// Wine's dlls/winhttp/tests/winhttp.c (server_thread, "PUT /test" and "POST
// /test" without a body must carry "Content-Length: 0").
TEST_F(WinHttpExchangeTest, SendsContentLengthZeroForAPostOrPutWithoutABody) {
  for (const char* method : {"POST", "PUT"}) {
    CallMethod(request_, "Open", {method, server_.Origin() + "/test", false});
    CallMethod(request_, "Send");
    ASSERT_EQ(LastCall().code, S_OK) << method;
    const tools::ReceivedRequest sent = server_.Requests().back();
    EXPECT_EQ(sent.method, method);
    EXPECT_EQ(sent.Header("Content-Length"), "0") << method;
    EXPECT_EQ(sent.Header("Content-Type"), "") << method;
  }
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/test", false});
  CallMethod(request_, "Send");
  EXPECT_FALSE(server_.Requests().back().hasBody);
}

// Wine's dlls/winhttp/tests/winhttp.c (test_IWinHttpRequest: Send, Send
// again, and Send after reading the response all succeed).
TEST_F(WinHttpExchangeTest, SendsAgainWhenSentOnceMore) {
  CallMethod(request_, "Open", {"POST", server_.Origin() + "/again", false});
  CallMethod(request_, "Send", {"one"});
  CallMethod(request_, "Send", {"two"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "POST /again two");
  CallMethod(request_, "Send");
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "POST /again ");
  EXPECT_EQ(server_.RequestCount(), 3u);

  CallMethod(request_, "Open", {"GET", server_.Origin() + "/async", true});
  CallMethod(request_, "Send");
  EXPECT_TRUE(CallBoolMethod(request_, "WaitForResponse"));
  CallMethod(request_, "Send");
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_TRUE(CallBoolMethod(request_, "WaitForResponse"));
  EXPECT_EQ(ReadTextProperty(request_, "ResponseText"), "GET /async ");
  EXPECT_EQ(server_.RequestCount(), 5u);
}

// The platform's documentation of ResponseText names no character set for a
// page that gives none; such a page reads as UTF-8 when it is UTF-8, else in
// the system code page (936 on the systems we serve), never as U+FFFD.
TEST_F(WinHttpExchangeTest, DecodesAnUnlabelledPageAsUtf8ElseAsCodePage936) {
  for (const char* page : {"utf8", "gbk"}) {
    CallMethod(request_, "Open", {"GET", server_.Origin() + "/page/" + page, false});
    CallMethod(request_, "Send");
    const Variant text = ReadProperty(request_, "ResponseText");
    EXPECT_EQ(text.TextValue(), u"<p>\u6743\u91CD 9</p>") << page;
  }
  // A page that names its character set is read in it.
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/page/latin1", false});
  CallMethod(request_, "Send");
  EXPECT_EQ(ReadProperty(request_, "ResponseText").TextValue(), u"<p>caf\u00E9</p>");
}

// The URL option is there to show whether a request was redirected: once
// the response is in, it names where the redirects led.
TEST_F(WinHttpExchangeTest, NamesTheRedirectedAddressAsItsUrl) {
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/from/302", false});
  EXPECT_EQ(GetText(ReadProperty(request_, "Option", {1})), server_.Origin() + "/from/302");
  CallMethod(request_, "Send");
  EXPECT_EQ(GetText(ReadProperty(request_, "Option", {1})), server_.Origin() + "/to");
  CallMethod(request_, "Open", {"GET", server_.Origin() + "/page/utf8", false});
  CallMethod(request_, "Send");
  EXPECT_EQ(GetText(ReadProperty(request_, "Option", {1})), server_.Origin() + "/page/utf8");
}

// A body past the limit ends the transfer as a failure, not as a response
// cut short or a process out of memory.
TEST(WinHttpLimit, RefusesABodyOver32MiB) {
  tools::LoopbackServer server([](const tools::ReceivedRequest&) {
    tools::Reply reply;
    reply.body.assign(kMostResponseBytes + 1, 'x');
    return reply;
  });
  Object request;
  ASSERT_TRUE(Create(request, kWinHttpRequestProgId));
  CallMethod(request, "Open", {"GET", server.Origin() + "/big", false});
  CallMethod(request, "Send");
  EXPECT_EQ(Raised(), E_OUTOFMEMORY);
  EXPECT_EQ(ReadTextProperty(request, "ResponseText").size(), 0u);
  EXPECT_EQ(Raised(), E_OUTOFMEMORY);
  EXPECT_TRUE(GetBytes(ReadProperty(request, "ResponseBody")).empty());
}

}  // namespace
}  // namespace rankora::components
