// The ways of asking the weight service for domains' weights, behind one
// interface so that the batch engine runs any of them through any exit:
//   legacy: the window's own lookup (the getbrinfo page and its weight image);
//   page:   today's domain page, with a weight for each search engine;
//   api:    the paid interface, up to 50 domains a call.
// Every request goes through HttpRequest, and so through the platform's own
// request component where there is one. A source tells a refusal (the service
// turning this exit away) from a transient failure (no answer, a time-out, a
// 5xx answer) and from an answer without data, so the caller can cool an exit
// down, retry, or record the domain.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lookup/endpoints.h"

namespace rankora::lookup {

enum class Outcome {
  kFound,    // the main weight is there
  kNone,     // the service answered, but has no main weight for the domain
  kRefused,  // the service turned this exit away (a refusal page, 403, 429, "too frequent")
  kFailed,   // no usable answer: time-out, broken connection, 5xx, unreadable answer
};

// Why a lookup came back without a weight, where that tells the user what to
// do: change the address (a refusal), check the network or the proxy (the
// service could not be reached), or change the source (the interface is
// gone).
enum class Why {
  kOther,            // an answer, or a failure of none of the kinds below (5xx, an unreadable answer, a component)
  kRefused,          // the service turned this exit away
  kNameNotResolved,  // unreachable: the service's name (or the proxy's) was not found
  kCannotConnect,    // unreachable: nothing took the connection (refused, or no route)
  kTimedOut,         // unreachable: no answer within the wait
  kSecureFailure,    // unreachable: the secure connection (TLS) failed
  kGone,             // the interface no longer answers: 404, 410, or a redirect to another path
};

// The service could not be reached: the network or the proxy is at fault.
bool Unreachable(Why why);
// What kept the service out of reach, in words (UTF-8), such as "找不到主机名";
// empty for the other kinds.
std::string UnreachableWords(Why why);

// How far a refusal or a failure reaches beyond its domain and its exit.
enum class Reach {
  kExit,    // this exit (a refusal cools it down), or this call alone
  kSource,  // every exit of the source: the service limits what they share
            // (the paid interface's key), so a refusal cools them all
  kRun,     // the run cannot go on (the service rejects the key): a failure
            // that stops the run at once, never retried
};

// One domain's answer from a source.
struct LookupResult {
  std::string domain;  // as asked (GBK)
  Outcome outcome = Outcome::kFailed;
  // One value per column of the source (Source::Columns), in that order; an
  // empty value is "no data". For kFound, values[0] is the main weight.
  std::vector<std::string> values;
  // For kRefused and kFailed: why, in words (UTF-8), such as "HTTP 503" or
  // "超时"; may be empty otherwise.
  std::string reason;
  // The service's Retry-After, when it sent one.
  std::optional<std::chrono::seconds> retryAfter;
  Reach reach = Reach::kExit;
  Why why = Why::kOther;  // for kRefused and kFailed
};

// The way out to the service: the direct connection, or one HTTP proxy.
struct Exit {
  std::string proxy;  // "host:port"; empty for the direct connection
  std::string user;   // proxy credentials, when the proxy wants them
  std::string password;

  // "direct" or "host:port", for outputs and status lines.
  std::string Name() const { return proxy.empty() ? "direct" : proxy; }
};

// "http://[user:password@]host:port" (the scheme may be left out) as an exit;
// nothing when the text is no such proxy address.
std::optional<Exit> ParseProxy(const std::string& line);

enum class SourceKind { kLegacy, kPage, kApi };

struct SourceSettings {
  SourceKind kind = SourceKind::kLegacy;
  // "scheme://host[:port]" that replaces the scheme and host of the source's
  // addresses (a mirror; tests reach a stand-in on loopback over plain
  // HTTP). Empty: the real service.
  std::string service;
  std::string key;                    // the paid interface's key
  std::chrono::seconds timeout{100};  // the longest wait for one answer
  // The page source's optional columns, by name, in any order: "traffic"
  // (the Baidu visits range, as its two numbers), "backlinks", "age" (the
  // domain's age as the page words it).
  std::vector<std::string> pageFields = {};
  // The page source's User-Agent; empty: a current desktop browser's.
  std::string userAgent = {};
  // A cookie of the user's own (a logged-in account's), sent with every page
  // source request. A secret: never shown in an output, a journal, a status
  // line or a message.
  std::string cookie = {};
};

class Source {
 public:
  virtual ~Source() = default;
  // The names of the source's value columns, ASCII, the main weight first:
  // legacy {"weight"}; page {"baidu_pc", "baidu_mobile", "360", "sogou",
  // "bing", "google"} and its chosen optional columns; api {"pc_br", "m_br", "ip", "pc_ip", "m_ip"}.
  virtual std::vector<std::string> Columns() const = 0;
  // How many domains one call may ask for (api: 50; the others: 1).
  virtual std::size_t BatchSize() const { return 1; }
  // Asks for `domains` (at most BatchSize) through `exit`: one result per
  // domain, in the same order. Safe to call from several threads at once,
  // each call on its own thread.
  virtual std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit& exit) = 0;
};

std::unique_ptr<Source> MakeSource(const SourceSettings& settings);

}  // namespace rankora::lookup
