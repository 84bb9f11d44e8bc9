#include "lookup/api_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>

#include "lookup/fetch.h"
#include "text/ascii.h"
#include "text/gbk.h"

namespace rankora::lookup {

namespace {

using Json = nlohmann::json;

constexpr char kServiceOrigin[] = "https://apistore.aizhan.com";
// The fields of a success[] entry, in column order; the first is the main
// weight.
constexpr std::array<const char*, 5> kFields = {"pc_br", "m_br", "ip", "pc_ip", "m_ip"};
// The leading fields that are weights: whole numbers from 0 to 10.
constexpr std::size_t kWeightFields = 2;
constexpr long kHighestWeight = 10;
constexpr char kUnreadable[] = "无法解析的应答";
// The words for a domain of data.failed[] the service gave no message for.
constexpr char kNotLookedUp[] = "接口查不到该域名";
constexpr char kKeyRejected[] = "接口密钥被拒绝";
constexpr std::size_t kLongestValueShown = 40;

std::string Normalized(const std::string& domain) {
  std::string key = domain;
  key.erase(0, std::min(key.find_first_not_of(" \t"), key.size()));
  key.erase(key.find_last_not_of(" \t") + 1);
  return text::AsciiLowerCopy(key);
}

// A value given as a number or as text, as text (GBK); empty for anything
// else.
std::string ValueText(const Json& value) {
  if (value.is_string()) return text::Gbk(value.get<std::string>());
  if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
  if (value.is_number_float()) {
    const double number = value.get<double>();
    // Counts sent as 1234.0 are counts.
    if (std::isfinite(number) && number == std::trunc(number) && std::fabs(number) < 1e15) {
      return std::to_string(static_cast<long long>(number));
    }
    return value.dump();
  }
  return {};
}

// A weight's text: "" for a missing one (null, ""), the number for a whole
// number from 0 to 10 given as a number or as digits, nothing for anything
// else, which no weight the service gives can be.
std::optional<std::string> WeightText(const Json& value) {
  if (value.is_null()) return std::string();
  std::string digits;
  if (value.is_string()) {
    digits = value.get<std::string>();
    if (digits.empty()) return digits;
  } else if (value.is_number_integer() || value.is_number_unsigned()) {
    digits = value.dump();
  } else if (value.is_number_float() && value.get<double>() >= 0 &&
             value.get<double>() <= static_cast<double>(kHighestWeight) &&
             value.get<double>() == std::trunc(value.get<double>())) {
    digits = std::to_string(static_cast<long>(value.get<double>()));
  } else {
    return std::nullopt;
  }
  if (digits.size() > 2 ||
      !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const long weight = std::stol(digits);
  if (weight > kHighestWeight) return std::nullopt;
  return std::to_string(weight);
}

// A value as the service sent it, for a reason (UTF-8): its JSON, cut when
// long.
std::string Shown(const Json& value) {
  std::string shown = value.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (shown.size() > kLongestValueShown) {
    std::size_t cut = kLongestValueShown;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    shown = shown.substr(0, cut) + "...";
  }
  return shown;
}

std::optional<long> CodeOf(const Json& answer) {
  const auto code = answer.find("code");
  if (code == answer.end()) return std::nullopt;
  if (code->is_number_integer() || code->is_number_unsigned()) return code->get<long>();
  if (code->is_string()) {
    const std::string textCode = code->get<std::string>();
    if (textCode.empty() || textCode.size() > 9 ||
        !std::all_of(textCode.begin(), textCode.end(), [](unsigned char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    return std::stol(textCode);
  }
  return std::nullopt;
}

std::string MessageOf(const Json& answer) {
  for (const char* name : {"msg", "message"}) {
    const auto message = answer.find(name);
    if (message != answer.end() && message->is_string()) return message->get<std::string>();
  }
  return {};
}

std::vector<LookupResult> AllWith(const std::vector<std::string>& domains, Outcome outcome, const std::string& reason,
                                  Reach reach = Reach::kExit) {
  std::vector<LookupResult> results;
  results.reserve(domains.size());
  for (const std::string& domain : domains) {
    LookupResult result;
    result.domain = domain;
    result.outcome = outcome;
    result.reason = reason;
    result.reach = reach;
    if (outcome == Outcome::kRefused) result.why = Why::kRefused;
    result.values.resize(kFields.size());
    results.push_back(std::move(result));
  }
  return results;
}

}  // namespace

std::string ApiUrl(const std::string& key, const std::vector<std::string>& domains, const std::string& service) {
  std::string url = std::string(kServiceOrigin) + "/baidurank/siteinfos/" + UrlPiece(key) + "?domains=";
  for (std::size_t i = 0; i < domains.size(); ++i) {
    if (i > 0) url += '|';
    url += UrlPiece(domains[i]);
  }
  return Rebase(url, service);
}

std::vector<LookupResult> ReadApiAnswer(const std::string& answer, const std::vector<std::string>& domains) {
  const Json json = Json::parse(text::ToUtf8(answer), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return AllWith(domains, Outcome::kFailed, kUnreadable);
  const std::optional<long> code = CodeOf(json);
  if (!code) return AllWith(domains, Outcome::kFailed, kUnreadable);
  const std::string message = MessageOf(json);
  const std::string withMessage = std::to_string(*code) + (message.empty() ? "" : " " + message);
  if (*code == kApiTooFrequent) return AllWith(domains, Outcome::kRefused, withMessage, Reach::kSource);
  if (*code == kApiKeyRejected) {
    return AllWith(domains, Outcome::kFailed, std::string(kKeyRejected) + "：" + withMessage, Reach::kRun);
  }
  if (*code != kApiSuccess) return AllWith(domains, Outcome::kFailed, withMessage);
  const auto data = json.find("data");
  if (data == json.end() || !data->is_object()) return AllWith(domains, Outcome::kFailed, kUnreadable);
  const auto success = data->find("success");
  // No success[] at all is a call that found none of the domains.
  if (success != data->end() && !success->is_array() && !success->is_null()) {
    return AllWith(domains, Outcome::kFailed, kUnreadable);
  }
  // A domain the answer names neither among the found nor among the failed
  // was not answered for: that is no "no weight".
  std::vector<LookupResult> results = AllWith(domains, Outcome::kFailed, "应答中没有该域名");
  std::vector<bool> answered(domains.size());
  const auto failed = data->find("failed");
  if (failed != data->end() && failed->is_array()) {
    for (const Json& entry : *failed) {
      const Json* domain = &entry;
      std::string words;
      if (entry.is_object()) {
        const auto named = entry.find("domain");
        if (named == entry.end()) continue;
        domain = &*named;
        words = MessageOf(entry);
      }
      if (!domain->is_string()) continue;
      const std::string key = Normalized(text::Gbk(domain->get<std::string>()));
      for (std::size_t i = 0; i < domains.size(); ++i) {
        if (answered[i] || Normalized(domains[i]) != key) continue;
        answered[i] = true;
        results[i].reason = words.empty() ? kNotLookedUp : words;
      }
    }
  }
  if (success == data->end() || success->is_null()) return results;
  std::vector<bool> found(domains.size());
  for (const Json& entry : *success) {
    if (!entry.is_object()) continue;
    const auto domain = entry.find("domain");
    if (domain == entry.end() || !domain->is_string()) continue;
    const std::string key = Normalized(text::Gbk(domain->get<std::string>()));
    for (std::size_t i = 0; i < domains.size(); ++i) {
      // A domain listed twice keeps its first entry.
      if (found[i] || Normalized(domains[i]) != key) continue;
      found[i] = true;
      LookupResult& result = results[i];
      result.outcome = Outcome::kNone;
      result.reason.clear();
      result.values.assign(kFields.size(), std::string());
      for (std::size_t field = 0; field < kFields.size(); ++field) {
        const auto value = entry.find(kFields[field]);
        if (value == entry.end()) continue;
        if (field >= kWeightFields) {
          result.values[field] = ValueText(*value);
          continue;
        }
        const std::optional<std::string> weight = WeightText(*value);
        if (!weight) {
          result.outcome = Outcome::kFailed;
          result.reason = std::string(kUnreadable) + " " + kFields[field] + "=" + Shown(*value);
          result.values.assign(kFields.size(), std::string());
          break;
        }
        result.values[field] = *weight;
      }
      if (result.outcome != Outcome::kFailed && !result.values[0].empty()) result.outcome = Outcome::kFound;
    }
  }
  return results;
}

std::vector<std::string> ApiSource::Columns() const { return {kFields.begin(), kFields.end()}; }

std::vector<LookupResult> ApiSource::Lookup(const std::vector<std::string>& domains, const Exit& exit) {
  std::vector<LookupResult> results(domains.size());
  // The request object may send the list's bars percent-encoded, just as a
  // bar inside a domain is sent, so such a domain (or an empty one) would
  // shift the list: it is not asked for.
  std::vector<std::size_t> asked;
  for (std::size_t i = 0; i < domains.size(); ++i) {
    if (domains[i].empty() || text::Find(domains[i], "|") > 0) {
      results[i] = AllWith({domains[i]}, Outcome::kFailed, "域名不能放进列表")[0];
    } else {
      asked.push_back(i);
    }
  }
  for (std::size_t start = 0; start < asked.size(); start += kApiBatchSize) {
    const std::size_t end = std::min(asked.size(), start + kApiBatchSize);
    std::vector<std::string> batch;
    batch.reserve(end - start);
    for (std::size_t i = start; i < end; ++i) batch.push_back(domains[asked[i]]);
    std::vector<LookupResult> answers = LookupBatch(batch, exit);
    for (std::size_t i = start; i < end; ++i) results[asked[i]] = std::move(answers[i - start]);
  }
  return results;
}

std::vector<LookupResult> ApiSource::LookupBatch(const std::vector<std::string>& domains, const Exit& exit) const {
  // Without a key the interface can only say so: no call is made.
  if (settings_.key.empty()) return AllWith(domains, Outcome::kFailed, "没有接口密钥", Reach::kRun);
  FetchRequest request;
  request.url = ApiUrl(settings_.key, domains, settings_.service);
  request.exit = exit;
  request.timeout = settings_.timeout;
  const FetchResult answer = Fetch(request);
  std::vector<LookupResult> results;
  if (std::optional<LookupResult> verdict = ClassifyAnswer(answer, {})) {
    results = AllWith(domains, verdict->outcome, verdict->reason);
    for (LookupResult& result : results) result.why = verdict->why;
  } else {
    results = ReadApiAnswer(answer.body, domains);
  }
  for (LookupResult& result : results) result.retryAfter = answer.retryAfter;
  return results;
}

}  // namespace rankora::lookup
