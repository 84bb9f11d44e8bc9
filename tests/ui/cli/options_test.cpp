#include "ui/cli/options.h"

#include <gtest/gtest.h>

namespace rankora::cli {
namespace {

using namespace std::chrono_literals;

TEST(CommandLine, TakesTheDefaultsOfALookupOneAfterAnotherAsTheWindowDoes) {
  const Parsed parsed = ParseCommandLine({"domains.txt"});
  ASSERT_TRUE(parsed.options.has_value()) << parsed.text;
  const Options& options = *parsed.options;
  EXPECT_EQ(options.input, "domains.txt");
  EXPECT_FALSE(options.output.has_value());
  EXPECT_EQ(options.form, batch::FormKind::kResults);
  EXPECT_EQ(options.source.kind, lookup::SourceKind::kLegacy);
  EXPECT_EQ(options.source.timeout, 100s);
  EXPECT_EQ(options.onRefusal, OnRefusal::kDefault);
  EXPECT_EQ(options.coolDown, 15min);
  EXPECT_EQ(options.longestCoolDown, 1h);
  EXPECT_EQ(options.retries, 3);
}

TEST(CommandLine, ReadsEveryOption) {
  const Parsed parsed = ParseCommandLine({"-",
                                          "-o",
                                          "out.csv",
                                          "--format",
                                          "csv",
                                          "--xlsx",
                                          "out.xlsx",
                                          "--source",
                                          "api",
                                          "--key",
                                          "K1",
                                          "--service",
                                          "http://127.0.0.1:9",
                                          "--proxies",
                                          "p.txt",
                                          "--rate",
                                          "600",
                                          "--concurrency",
                                          "32",
                                          "--retries",
                                          "5",
                                          "--retry-pause",
                                          "500ms",
                                          "--cool-down",
                                          "90s",
                                          "--longest-cool-down",
                                          "2h",
                                          "--timeout",
                                          "30",
                                          "--on-refusal",
                                          "cool",
                                          "--unique",
                                          "--clean",
                                          "--quiet",
                                          "--status-every",
                                          "1m"});
  ASSERT_TRUE(parsed.options.has_value()) << parsed.text;
  const Options& options = *parsed.options;
  EXPECT_EQ(options.input, "-");
  EXPECT_EQ(options.output, "out.csv");
  EXPECT_EQ(options.form, batch::FormKind::kCsv);
  EXPECT_EQ(options.workbook, "out.xlsx");
  EXPECT_EQ(options.source.kind, lookup::SourceKind::kApi);
  EXPECT_EQ(options.source.key, "K1");
  EXPECT_EQ(options.source.service, "http://127.0.0.1:9");
  EXPECT_EQ(options.proxies, "p.txt");
  EXPECT_EQ(options.rate, 600);
  EXPECT_EQ(options.concurrency, 32);
  EXPECT_EQ(options.retries, 5);
  EXPECT_EQ(options.retryPause, 500ms);
  EXPECT_EQ(options.coolDown, 90s);
  EXPECT_EQ(options.longestCoolDown, 2h);
  EXPECT_EQ(options.source.timeout, 30s);
  EXPECT_EQ(options.onRefusal, OnRefusal::kCool);
  EXPECT_TRUE(options.unique);
  EXPECT_TRUE(options.clean);
  EXPECT_TRUE(options.quiet);
  EXPECT_EQ(options.statusEvery, 1min);
}

TEST(CommandLine, HelpAndVersionGoToStandardOutputWithStatusZero) {
  const Parsed help = ParseCommandLine({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_FALSE(help.options.has_value());
  EXPECT_NE(help.text.find("--proxies"), std::string::npos);
  EXPECT_NE(help.text.find("示例"), std::string::npos);
  EXPECT_NE(help.text.find("rankora-batch domains.txt -o weights.txt"), std::string::npos);
  const Parsed version = ParseCommandLine({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.text.rfind("rankora-batch ", 0), 0u) << version.text;
}

TEST(CommandLine, RefusesWhatItCannotRunWithStatus64) {
  const std::vector<std::vector<std::string>> wrong{
      {},                                        // no input
      {"a.txt", "--bogus"},                      // unknown option
      {"a.txt", "--format", "xml"},              // unknown form
      {"a.txt", "--source", "api"},              // the paid interface without a key
      {"a.txt", "--rate", "-1"},                 // a negative rate
      {"a.txt", "--concurrency", "0"},           // nothing in flight
      {"a.txt", "--cool-down", "soon"},          // no duration
      {"a.txt", "--service", "127.0.0.1:8080"},  // no scheme
      {"a.txt", "--on-refusal", "ignore"},       // no such reaction
      {"a.txt", "--status-every", "0"},          // a status line without pause
      {"a.txt", "--rate", "nan"},                // no number
      {"a.txt", "--rate", "inf"},
      {"a.txt", "--rate", "1e308"},
      {"a.txt", "--service", "http://"},                 // no host
      {"a.txt", "--service", "http://:8080"},            // no host before the port
      {"a.txt", "--service", "http://127.0.0.1:99999"},  // no such port
      {"a.txt", "--service", "http://127.0.0.1:0"},
      {"a.txt", "--service", "http://127.0.0.1:"},
      {"a.txt", "--service", "ftp://127.0.0.1"},          // no scheme the sources speak
      {"a.txt", "--service", "http://127.0.0.1/mirror"},  // a path the sources would drop
  };
  for (const std::vector<std::string>& arguments : wrong) {
    const Parsed parsed = ParseCommandLine(arguments);
    EXPECT_EQ(parsed.status, 64) << testing::PrintToString(arguments);
    EXPECT_FALSE(parsed.options.has_value());
    EXPECT_NE(parsed.text.find("--help"), std::string::npos) << parsed.text;
  }
}

TEST(CommandLine, SaysWhatIsWrongInPlainWords) {
  const Parsed rate = ParseCommandLine({"a.txt", "--rate", "-1"});
  EXPECT_NE(rate.text.find("1,000,000"), std::string::npos) << rate.text;
  EXPECT_LT(rate.text.size(), 200u) << rate.text;
  const Parsed port = ParseCommandLine({"a.txt", "--service", "http://127.0.0.1:99999"});
  EXPECT_NE(port.text.find("65535"), std::string::npos) << port.text;
}

TEST(CommandLine, TakesEveryServiceAddressASourceCanUse) {
  for (const std::string service : {"http://127.0.0.1:8080", "https://mirror.example.com", "HTTP://a.com/",
                                    "http://[::1]:9000", "http://localhost"}) {
    const Parsed parsed = ParseCommandLine({"a.txt", "--service", service});
    EXPECT_TRUE(parsed.options.has_value()) << service << ": " << parsed.text;
  }
}

TEST(CommandLine, ReadsDurationsWithOrWithoutTheirUnit) {
  EXPECT_EQ(ParseDuration("15", std::chrono::minutes(1)), 15min);
  EXPECT_EQ(ParseDuration("1.5", std::chrono::seconds(1)), 1500ms);
  EXPECT_EQ(ParseDuration("250ms", std::chrono::seconds(1)), 250ms);
  EXPECT_EQ(ParseDuration("90s", std::chrono::minutes(1)), 90s);
  EXPECT_EQ(ParseDuration("2h", std::chrono::seconds(1)), 2h);
  EXPECT_FALSE(ParseDuration("", std::chrono::seconds(1)));
  EXPECT_FALSE(ParseDuration("-5s", std::chrono::seconds(1)));
  EXPECT_FALSE(ParseDuration("5 days", std::chrono::seconds(1)));
  EXPECT_FALSE(ParseDuration("nan", std::chrono::seconds(1)));
}

}  // namespace
}  // namespace rankora::cli
