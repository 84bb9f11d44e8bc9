// The stand-in weight service on 127.0.0.1, until interrupted. Each port is
// one exit with its own limit; one line per port tells where it listens:
//   weight service on http://127.0.0.1:P (as a proxy: http_proxy=http://127.0.0.1:P)
// Watch a whole run against it by pointing the window at it as a proxy:
//   http_proxy=http://127.0.0.1:N rankora
#include <charconv>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "weight_service.h"

namespace {

constexpr char kUsage[] =
    "usage: weight_service [--port N]... [--exits K] [--weight DOMAIN=N]... [--default-weight N]\n"
    "                      [--no-data DOMAIN]... [--key KEY] [--refuse-after N] [--delay MS]\n"
    "                      [--limit N] [--retry-after S] [--fail-rate R] [--seed N]\n"
    "                      [--page-refusal forbidden|captcha|alternate] [--earlier-page]\n"
    "                      [--other-domain-page DOMAIN]... [--redirect-home DOMAIN]...\n"
    "                      [--api-failed DOMAIN=MESSAGE]... [--api-error CODE[:TIMES]:MESSAGE]\n"
    "                      [--legacy-gone 404|410|home]\n"
    "  --port N          listen on port N (0: a free one); repeatable, one exit per port\n"
    "  --exits K         K more exits on free ports (no --port and no --exits: port 8080)\n"
    "  --no-data DOMAIN  a domain without weights\n"
    "  --key KEY         the only key the api takes (default: any)\n"
    "  --refuse-after N  refuse every query after the first N over all exits\n"
    "  --limit N         queries let through per exit in any 60 seconds (default: no limit);\n"
    "                    the api's are its key's, over all exits\n"
    "  --retry-after S   refusals carry Retry-After: S (the page source answers 429)\n"
    "  --fail-rate R     answer this share (0..1) of queries let through with 503\n"
    "  --seed N          picks which queries fail (default 1)\n"
    "  --earlier-page    the domain page without placeholders (every weight an image)\n"
    "  --other-domain-page DOMAIN  that domain's page is another domain's\n"
    "  --redirect-home DOMAIN      that domain's page redirects to the home page\n"
    "  --api-failed DOMAIN=MESSAGE  the api lists DOMAIN in data.failed[] with MESSAGE\n"
    "  --api-error CODE[:TIMES]:MESSAGE  the api answers CODE and MESSAGE (the first TIMES calls)\n"
    "  --legacy-gone 404|410|home  the legacy interface answers 404, 410, or redirects to the home page\n";

// The whole of `text` as a number in [low, high].
template <typename Number>
bool Parse(std::string_view text, Number low, Number high, Number& value) {
  Number parsed{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  rankora::tools::WeightServiceOptions options;
  std::vector<int> ports;
  long freePorts = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--earlier-page") {
      options.pageLayout = rankora::tools::PageLayout::kEarlier;
      continue;
    }
    if (i + 1 >= argc) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    const std::string value = argv[++i];
    bool valid = true;
    if (flag == "--port") {
      int port = 0;
      valid = Parse(value, 0, 65535, port);
      ports.push_back(port);
    } else if (flag == "--exits") {
      valid = Parse(value, 1L, 1000L, freePorts);
    } else if (flag == "--weight") {
      const std::size_t equals = value.rfind('=');
      valid = equals != std::string::npos && equals > 0;
      if (valid) options.weights[value.substr(0, equals)] = value.substr(equals + 1);
    } else if (flag == "--default-weight") {
      options.defaultWeight = value;
    } else if (flag == "--other-domain-page") {
      options.otherDomainPage.insert(value);
    } else if (flag == "--legacy-gone") {
      using rankora::tools::LegacyInterface;
      valid = value == "404" || value == "410" || value == "home";
      options.legacy = value == "404"    ? LegacyInterface::kNotFound
                       : value == "410"  ? LegacyInterface::kGone
                       : value == "home" ? LegacyInterface::kRedirectHome
                                         : LegacyInterface::kAnswering;
    } else if (flag == "--redirect-home") {
      options.redirectHome.insert(value);
    } else if (flag == "--no-data") {
      options.noData.insert(value);
    } else if (flag == "--key") {
      options.apiKey = value;
    } else if (flag == "--refuse-after") {
      valid = Parse(value, -1L, 1L << 40, options.refuseAfter);
    } else if (flag == "--delay") {
      long milliseconds = 0;
      valid = Parse(value, 0L, 3600000L, milliseconds);
      options.delay = std::chrono::milliseconds(milliseconds);
    } else if (flag == "--limit") {
      valid = Parse(value, 0L, 1L << 40, options.limit);
    } else if (flag == "--retry-after") {
      long seconds = 0;
      valid = Parse(value, 0L, 86400L, seconds);
      options.retryAfter = std::chrono::seconds(seconds);
    } else if (flag == "--fail-rate") {
      valid = Parse(value, 0.0, 1.0, options.failRate);
    } else if (flag == "--seed") {
      valid = Parse(value, std::uint64_t{0}, ~std::uint64_t{0}, options.seed);
    } else if (flag == "--api-failed") {
      const std::size_t equals = value.find('=');
      valid = equals != std::string::npos && equals > 0;
      if (valid) options.apiFailedMessages[value.substr(0, equals)] = value.substr(equals + 1);
    } else if (flag == "--api-error") {
      rankora::tools::ApiError error;
      const std::size_t colon = value.find(':');
      valid = colon != std::string::npos && Parse(std::string_view(value).substr(0, colon), 0L, 999999999L, error.code);
      std::string rest = valid ? value.substr(colon + 1) : std::string();
      const std::size_t second = rest.find(':');
      if (valid && second != std::string::npos &&
          Parse(std::string_view(rest).substr(0, second), 0L, 1L << 40, error.times)) {
        rest = rest.substr(second + 1);
      }
      error.message = rest;
      if (valid) options.apiError = error;
    } else if (flag == "--page-refusal") {
      if (value == "forbidden") {
        options.pageRefusal = rankora::tools::PageRefusal::kForbidden;
      } else if (value == "captcha") {
        options.pageRefusal = rankora::tools::PageRefusal::kCaptcha;
      } else if (value == "alternate") {
        options.pageRefusal = rankora::tools::PageRefusal::kAlternate;
      } else {
        valid = false;
      }
    } else {
      valid = false;
    }
    if (!valid) {
      std::fprintf(stderr, "bad option: %s %s\n%s", flag.c_str(), value.c_str(), kUsage);
      return 2;
    }
  }
  ports.insert(ports.end(), static_cast<std::size_t>(freePorts), 0);
  if (ports.empty()) ports.push_back(8080);

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  rankora::tools::WeightServiceExits exits(options, ports);
  for (std::size_t exit = 0; exit < exits.Count(); ++exit) {
    if (!exits.Listening(exit)) {
      std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", ports[exit]);
      return 1;
    }
  }
  for (std::size_t exit = 0; exit < exits.Count(); ++exit) {
    const std::string origin = exits.Origin(exit);
    std::printf("weight service on %s (as a proxy: http_proxy=%s)\n", origin.c_str(), origin.c_str());
  }
  std::fflush(stdout);
  int received = 0;
  sigwait(&signals, &received);
  return 0;
}
