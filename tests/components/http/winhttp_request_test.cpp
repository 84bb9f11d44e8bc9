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

}  // namespace
}  // namespace rankora::components
