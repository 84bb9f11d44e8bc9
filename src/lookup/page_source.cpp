#include "lookup/page_source.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "lookup/fetch.h"
#include "text/ascii.h"
#include "text/gbk.h"

namespace rankora::lookup {

namespace {

constexpr char kServiceOrigin[] = "https://www.aizhan.com";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

struct Attribute {
  std::string name;  // lower case
  std::string value;
};

struct Tag {
  std::string name;  // lower case
  bool closing = false;
  bool selfClosing = false;
  std::vector<Attribute> attributes;

  const Attribute* Find(std::string_view attribute) const {
    for (const Attribute& each : attributes) {
      if (each.name == attribute) return &each;
    }
    return nullptr;
  }
};

// The page's tags in order, with comments, declarations and the contents of
// scripts and styles passed over. Markup bytes ('<', '>', quotes, spaces)
// are never the second byte of a GBK character, so a byte-wise scan never
// cuts a character.
class TagScanner {
 public:
  explicit TagScanner(std::string_view page) : page_(page) {}

  std::vector<Tag> All() {
    std::vector<Tag> tags;
    while (std::optional<Tag> tag = Next()) tags.push_back(std::move(*tag));
    return tags;
  }

 private:
  std::optional<Tag> Next() {
    for (;;) {
      const auto open = page_.find('<', at_);
      if (open == std::string_view::npos) return std::nullopt;
      at_ = open + 1;
      if (page_.substr(open, 4) == "<!--") {
        SkipPast("-->");
        continue;
      }
      if (at_ < page_.size() && (page_[at_] == '!' || page_[at_] == '?')) {
        SkipPast(">");
        continue;
      }
      Tag tag;
      if (at_ < page_.size() && page_[at_] == '/') {
        tag.closing = true;
        ++at_;
      }
      tag.name = text::AsciiLowerCopy(Name());
      // A '<' not starting a name is text ("a < b").
      if (tag.name.empty()) continue;
      ReadAttributes(tag);
      if (!tag.closing && !tag.selfClosing && (tag.name == "script" || tag.name == "style")) {
        SkipRawText(tag.name);
      }
      return tag;
    }
  }

  std::string_view Name() {
    const auto start = at_;
    while (at_ < page_.size() && (std::isalnum(static_cast<unsigned char>(page_[at_])) != 0 || page_[at_] == '-' ||
                                  page_[at_] == '_' || page_[at_] == ':')) {
      ++at_;
    }
    return page_.substr(start, at_ - start);
  }

  void ReadAttributes(Tag& tag) {
    while (at_ < page_.size()) {
      const char c = page_[at_];
      if (c == '>') {
        ++at_;
        return;
      }
      if (IsSpace(c) || c == '/') {
        if (c == '/' && at_ + 1 < page_.size() && page_[at_ + 1] == '>') tag.selfClosing = true;
        ++at_;
        continue;
      }
      const auto nameStart = at_;
      while (at_ < page_.size() && !IsSpace(page_[at_]) && page_[at_] != '=' && page_[at_] != '>' &&
             page_[at_] != '/') {
        ++at_;
      }
      Attribute attribute{text::AsciiLowerCopy(page_.substr(nameStart, at_ - nameStart)), {}};
      SkipSpaces();
      if (at_ < page_.size() && page_[at_] == '=') {
        ++at_;
        SkipSpaces();
        attribute.value = Value(tag);
      }
      tag.attributes.push_back(std::move(attribute));
    }
  }

  std::string Value(Tag& tag) {
    if (at_ >= page_.size()) return {};
    const char quote = page_[at_];
    if (quote == '"' || quote == '\'') {
      const auto end = page_.find(quote, at_ + 1);
      const auto stop = end == std::string_view::npos ? page_.size() : end;
      std::string value(page_.substr(at_ + 1, stop - at_ - 1));
      at_ = std::min(stop + 1, page_.size());
      return value;
    }
    const auto start = at_;
    while (at_ < page_.size() && !IsSpace(page_[at_]) && page_[at_] != '>') ++at_;
    std::string_view value = page_.substr(start, at_ - start);
    // "alt=3/>": the slash closes the tag, it is not part of the value.
    if (at_ < page_.size() && page_[at_] == '>' && !value.empty() && value.back() == '/') {
      value.remove_suffix(1);
      tag.selfClosing = true;
    }
    return std::string(value);
  }

  void SkipSpaces() {
    while (at_ < page_.size() && IsSpace(page_[at_])) ++at_;
  }

  void SkipPast(std::string_view marker) {
    const auto end = page_.find(marker, at_);
    at_ = end == std::string_view::npos ? page_.size() : end + marker.size();
  }

  void SkipRawText(const std::string& name) {
    const std::string closing = "</" + name;
    for (auto from = at_;;) {
      const auto end = page_.find("</", from);
      if (end == std::string_view::npos) {
        at_ = page_.size();
        return;
      }
      if (text::EqualsIgnoreAsciiCase(page_.substr(end, closing.size()), closing)) {
        at_ = end;
        return;
      }
      from = end + 2;
    }
  }

  std::string_view page_;
  std::size_t at_ = 0;
};

bool IsVoidElement(const std::string& name) {
  static constexpr std::string_view kVoid[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                               "input", "link", "meta", "param", "source", "track", "wbr"};
  return std::find(std::begin(kVoid), std::end(kVoid), name) != std::end(kVoid);
}

const PageWeight* WeightWithId(const Tag& tag) {
  const Attribute* id = tag.Find("id");
  if (id == nullptr || tag.closing) return nullptr;
  const std::string value = Trimmed(id->value);
  for (const PageWeight& weight : kPageWeights) {
    if (text::EqualsIgnoreAsciiCase(value, weight.id)) return &weight;
  }
  return nullptr;
}

// The image of the element that opens at tags[at]: the element itself when
// it is an image, else the first image before the element ends (or another
// weight's element begins, where the markup leaves the end out).
const Tag* ImageOf(const std::vector<Tag>& tags, std::size_t at) {
  const Tag& element = tags[at];
  if (element.name == "img") return &element;
  if (element.selfClosing || IsVoidElement(element.name)) return nullptr;
  int depth = 1;
  for (std::size_t i = at + 1; i < tags.size(); ++i) {
    const Tag& tag = tags[i];
    if (WeightWithId(tag) != nullptr) return nullptr;
    if (tag.name == element.name) {
      if (tag.closing) {
        if (--depth == 0) return nullptr;
      } else if (!tag.selfClosing) {
        ++depth;
      }
    } else if (tag.name == "img" && !tag.closing) {
      return &tag;
    }
  }
  return nullptr;
}

// The weight an image shows: its alt text, or the number its file is named
// by when the file lies in the weight's folder; "n" and anything that is no
// number are no data.
std::string WeightOfImage(const Tag& image, const PageWeight& weight) {
  if (const Attribute* alt = image.Find("alt")) {
    std::string text = Trimmed(alt->value);
    if (text::EqualsIgnoreAsciiCase(text, "n")) return {};
    if (AllDigits(text)) return text;
  }
  const Attribute* src = image.Find("src");
  if (src == nullptr) return {};
  std::string_view path = src->value;
  path = path.substr(0, path.find_first_of("?#"));
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  const std::string_view file = path.substr(slash + 1);
  const std::string_view parent = path.substr(0, slash);
  const std::string_view folder =
      parent.substr(parent.rfind('/') == std::string_view::npos ? 0 : parent.rfind('/') + 1);
  if (!text::EqualsIgnoreAsciiCase(folder, weight.imageFolder)) return {};
  const std::string stem = Trimmed(file.substr(0, file.find('.')));
  return AllDigits(stem) ? stem : std::string();
}

bool IsVerificationPage(const std::string& page) {
  return text::Find(page, text::Gbk("验证码")) > 0 || text::Find(page, text::Gbk("安全验证")) > 0 ||
         text::Find(page, "captcha", 1, true) > 0;
}

}  // namespace

std::string DomainPageUrl(const std::string& domain, const std::string& service) {
  return Rebase(std::string(kServiceOrigin) + "/cha/" + UrlPiece(domain) + "/", service);
}

LookupResult ReadDomainPage(const std::string& page, const std::string& domain) {
  LookupResult result;
  result.domain = domain;
  result.values.resize(std::size(kPageWeights));
  const std::vector<Tag> tags = TagScanner(page).All();
  std::vector<bool> seen(std::size(kPageWeights));
  bool hasWeights = false;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const PageWeight* weight = WeightWithId(tags[i]);
    if (weight == nullptr) continue;
    hasWeights = true;
    const auto column = static_cast<std::size_t>(weight - std::begin(kPageWeights));
    // The first element with an id wins, as it does in a browser.
    if (seen[column]) continue;
    seen[column] = true;
    if (const Tag* image = ImageOf(tags, i)) result.values[column] = WeightOfImage(*image, *weight);
  }
  if (!hasWeights) {
    // Checked only here: a page with the weights may well mention a captcha
    // (a log-in form's) without being a check.
    result.outcome = Outcome::kRefused;
    result.reason = IsVerificationPage(page) ? "验证页面" : "页面没有权重";
    return result;
  }
  result.outcome = result.values[0].empty() ? Outcome::kNone : Outcome::kFound;
  return result;
}

std::vector<std::string> PageSource::Columns() const {
  std::vector<std::string> columns;
  for (const PageWeight& weight : kPageWeights) columns.emplace_back(weight.column);
  return columns;
}

std::vector<LookupResult> PageSource::Lookup(const std::vector<std::string>& domains, const Exit& exit) {
  std::vector<LookupResult> results;
  results.reserve(domains.size());
  for (const std::string& domain : domains) {
    FetchRequest request;
    request.url = DomainPageUrl(domain, settings_.service);
    request.exit = exit;
    request.timeout = settings_.timeout;
    const FetchResult answer = Fetch(request);
    std::optional<LookupResult> result = ClassifyAnswer(answer, domain);
    if (!result) {
      result = ReadDomainPage(answer.body, domain);
      result->retryAfter = answer.retryAfter;
    }
    result->values.resize(std::size(kPageWeights));
    results.push_back(std::move(*result));
  }
  return results;
}

}  // namespace rankora::lookup
