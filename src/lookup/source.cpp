#include "lookup/source.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "lookup/api_source.h"
#include "lookup/legacy_source.h"
#include "lookup/page_source.h"
#include "text/ascii.h"

namespace rankora::lookup {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Credentials in an address are percent-encoded where they hold ':', '@' or
// other reserved characters.
std::optional<std::string> PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

bool ValidPort(std::string_view port) {
  if (port.empty() || port.size() > 5) return false;
  if (!std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return false;
  const int value = std::stoi(std::string(port));
  return value >= 1 && value <= 65535;
}

bool ValidHost(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    // An IPv6 literal: hexadecimal digits, colons and dots in brackets.
    return host.size() > 2 && host.back() == ']' && std::all_of(host.begin() + 1, host.end() - 1, [](unsigned char c) {
             return std::isxdigit(c) != 0 || c == ':' || c == '.';
           });
  }
  return std::all_of(host.begin(), host.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0 || c == '.' || c == '-' || c == '_'; });
}

}  // namespace

std::optional<Exit> ParseProxy(const std::string& line) {
  std::string_view text = line;
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  const auto scheme = text.find("://");
  if (scheme != std::string_view::npos) {
    if (!text::EqualsIgnoreAsciiCase(text.substr(0, scheme), "http")) return std::nullopt;
    text.remove_prefix(scheme + 3);
  }
  if (!text.empty() && text.back() == '/') text.remove_suffix(1);
  Exit exit;
  const auto at = text.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = text.substr(0, at);
    const auto colon = credentials.find(':');
    const auto user = PercentDecoded(credentials.substr(0, colon));
    const auto password =
        PercentDecoded(colon == std::string_view::npos ? std::string_view() : credentials.substr(colon + 1));
    if (!user || !password || user->empty()) return std::nullopt;
    exit.user = *user;
    exit.password = *password;
    text.remove_prefix(at + 1);
  }
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (!ValidHost(host) || !ValidPort(port)) return std::nullopt;
  exit.proxy = std::string(text);
  return exit;
}

std::unique_ptr<Source> MakeSource(const SourceSettings& settings) {
  switch (settings.kind) {
    case SourceKind::kPage:
      return std::make_unique<PageSource>(settings);
    case SourceKind::kApi:
      return std::make_unique<ApiSource>(settings);
    case SourceKind::kLegacy:
      break;
  }
  return std::make_unique<LegacySource>(settings);
}

bool Unreachable(Why why) {
  return why == Why::kNameNotResolved || why == Why::kCannotConnect || why == Why::kTimedOut ||
         why == Why::kSecureFailure;
}

std::string UnreachableWords(Why why) {
  switch (why) {
    case Why::kNameNotResolved:
      return "找不到主机名";
    case Why::kCannotConnect:
      return "连不上服务器";
    case Why::kTimedOut:
      return "超时";
    case Why::kSecureFailure:
      return "安全连接（TLS）失败";
    default:
      return {};
  }
}

}  // namespace rankora::lookup
