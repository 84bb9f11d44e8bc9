#include "lookup/proxy_list.h"

#include <gtest/gtest.h>

namespace rankora::lookup {
namespace {

TEST(ReadProxyList, ReadsOneExitALineInOrderSkippingCommentsAndEmptyLines) {
  const ProxyList list = ReadProxyList(
      "# the office's proxies\r\n"
      "http://10.0.0.1:8080\r\n"
      "\r\n"
      "   \t\r\n"
      "  # a comment after blanks\n"
      "\tu:p@proxy.example:3128  \r\n"
      "10.0.0.2:80");
  ASSERT_TRUE(list.Ok());
  ASSERT_EQ(list.exits.size(), 3u);
  EXPECT_EQ(list.exits[0].proxy, "10.0.0.1:8080");
  EXPECT_EQ(list.exits[1].proxy, "proxy.example:3128");
  EXPECT_EQ(list.exits[1].user, "u");
  EXPECT_EQ(list.exits[1].password, "p");
  EXPECT_EQ(list.exits[2].proxy, "10.0.0.2:80");
}

TEST(ReadProxyList, NamesTheFirstLineThatIsNoProxyCountingEveryLine) {
  const ProxyList list = ReadProxyList("# list\n\nhttp://10.0.0.1:8080\r\n  socks5://10.0.0.2:1080 \r\nnot a proxy\n");
  EXPECT_FALSE(list.Ok());
  EXPECT_FALSE(list.Empty());
  EXPECT_EQ(list.problemLine, 4);
  EXPECT_EQ(list.badLine, "socks5://10.0.0.2:1080");
  EXPECT_TRUE(list.exits.empty());
}

TEST(ReadProxyList, AListWithoutAProxyIsNone) {
  for (const char* bytes : {"", "\n\n", "# only a comment\r\n   \r\n"}) {
    const ProxyList list = ReadProxyList(bytes);
    EXPECT_FALSE(list.Ok()) << bytes;
    EXPECT_TRUE(list.Empty()) << bytes;
    EXPECT_TRUE(list.exits.empty());
  }
}

}  // namespace
}  // namespace rankora::lookup
