#include "lookup/page_source.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <optional>
#include <string_view>

#include "lookup/fetch.h"
#include "text/ascii.h"
#include "text/gbk.h"

namespace rankora::lookup {

namespace {

constexpr char kServiceOrigin[] = "https://www.aizhan.com";
constexpr char kFillOrigin[] = "https://rest.aizhan.com";

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
  std::string name;       // lower case
  std::size_t start = 0;  // where the tag begins in the page ('<')
  std::size_t end = 0;    // just past it ('>'), or past the raw text of a script or style
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
      tag.start = open;
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
      tag.end = at_;
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
// by when the file lies in the weight's folder; anything that is no number
// is no data. "n" is either a placeholder (`placeholder` set) or, for a
// weight the page never fills, no data.
std::string WeightOfImage(const Tag& image, const PageWeight& weight, bool* placeholder) {
  if (const Attribute* alt = image.Find("alt")) {
    std::string text = Trimmed(alt->value);
    if (text::EqualsIgnoreAsciiCase(text, "n")) {
      if (weight.fillKind != nullptr) *placeholder = true;
      return {};
    }
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

// The text of the element that opens at tags[at], its tags left out, up to
// its end (or the page's end where the markup leaves the end out).
std::string TextOf(const std::string& page, const std::vector<Tag>& tags, std::size_t at) {
  const Tag& element = tags[at];
  std::string text;
  if (element.selfClosing || IsVoidElement(element.name)) return text;
  int depth = 1;
  std::size_t from = element.end;
  for (std::size_t i = at + 1; i < tags.size(); ++i) {
    const Tag& tag = tags[i];
    if (tag.name != "script" && tag.name != "style") text.append(page, from, tag.start - from);
    from = tag.end;
    if (tag.name == element.name) {
      if (tag.closing && --depth == 0) return text;
      if (!tag.closing && !tag.selfClosing) ++depth;
    }
  }
  if (from < page.size()) text.append(page, from, std::string::npos);
  return text;
}

// A character that may be part of a domain name (ASCII letters, digits,
// '-', '.'; any byte of a GBK character).
bool IsDomainByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 || std::isalnum(byte) != 0 || c == '-' || c == '.';
}

// The domain as a query box holds it: no scheme, no trailing slash, no spaces.
std::string DomainOfQuery(std::string_view text) {
  std::string value = Trimmed(text);
  for (const char* scheme : {"http://", "https://"}) {
    if (text::EqualsIgnoreAsciiCase(std::string_view(value).substr(0, std::strlen(scheme)), scheme)) {
      value.erase(0, std::strlen(scheme));
    }
  }
  while (!value.empty() && value.back() == '/') value.pop_back();
  return value;
}

// Whether `text` names `domain` as a whole name, not as a piece of a longer
// one ("a.com" is not named by "www.a.com" or "a.com.cn").
bool NamesDomain(const std::string& text, const std::string& domain) {
  if (domain.empty()) return false;
  const std::string haystack = text::AsciiLowerCopy(text);
  const std::string needle = text::AsciiLowerCopy(domain);
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) {
    const bool before = at > 0 && IsDomainByte(haystack[at - 1]);
    const std::size_t after = at + needle.size();
    // A sentence's full stop may follow the name.
    const bool afterName =
        after < haystack.size() && IsDomainByte(haystack[after]) &&
        !(haystack[after] == '.' && (after + 1 == haystack.size() || !IsDomainByte(haystack[after + 1])));
    if (!before && !afterName) return true;
  }
  return false;
}

// Whether the page is about `domain`: the text input of a form on it (the
// page's search box) or its title names the domain.
bool IsAbout(const std::string& page, const std::vector<Tag>& tags, const std::string& domain) {
  int forms = 0;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const Tag& tag = tags[i];
    if (tag.name == "form") {
      forms += tag.closing ? (forms > 0 ? -1 : 0) : 1;
    } else if (tag.name == "title" && !tag.closing) {
      if (NamesDomain(TextOf(page, tags, i), domain)) return true;
    } else if (tag.name == "input" && !tag.closing && forms > 0) {
      const Attribute* type = tag.Find("type");
      const std::string kind = type == nullptr ? "text" : text::AsciiLowerCopy(Trimmed(type->value));
      if (kind != "text" && kind != "search") continue;
      const Attribute* value = tag.Find("value");
      if (value != nullptr && text::EqualsIgnoreAsciiCase(DomainOfQuery(value->value), DomainOfQuery(domain))) {
        return true;
      }
    }
  }
  return false;
}

// The value a script gives `name` in "name = value,": digits for rn, a
// quoted text for cc; empty when the page has no such assignment.
std::string ScriptToken(const std::string& page, std::string_view name, bool quoted) {
  for (std::size_t at = page.find(name); at != std::string::npos; at = page.find(name, at + 1)) {
    if (at > 0 && (std::isalnum(static_cast<unsigned char>(page[at - 1])) != 0 || page[at - 1] == '_' ||
                   page[at - 1] == '$' || page[at - 1] == '.')) {
      continue;
    }
    std::size_t p = at + name.size();
    while (p < page.size() && IsSpace(page[p])) ++p;
    if (p >= page.size() || page[p] != '=' || (p + 1 < page.size() && page[p + 1] == '=')) continue;
    ++p;
    while (p < page.size() && IsSpace(page[p])) ++p;
    std::string value;
    if (quoted) {
      if (p >= page.size() || (page[p] != '"' && page[p] != '\'')) continue;
      const auto end = page.find(page[p], p + 1);
      if (end == std::string::npos) continue;
      value = page.substr(p + 1, end - p - 1);
      p = end + 1;
    } else {
      const auto start = p;
      while (p < page.size() && std::isdigit(static_cast<unsigned char>(page[p])) != 0) ++p;
      value = page.substr(start, p - start);
      if (value.empty()) continue;
    }
    while (p < page.size() && IsSpace(page[p])) ++p;
    if (p < page.size() && (page[p] == ',' || page[p] == ';')) return value;
  }
  return {};
}

// A number as the page words it ("64,550", "1.2万", "3亿"), in whole units;
// empty when `text` holds none.
std::string PageNumber(std::string_view text) {
  const std::string wan = text::Gbk("万");
  const std::string yi = text::Gbk("亿");
  std::size_t at = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) == 0) {
    at += text::CharLength(std::string(text), at);
  }
  std::string digits;
  std::string fraction;
  bool point = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
      (point ? fraction : digits) += c;
    } else if (c == ',' && !point) {
      continue;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits.empty()) return {};
  const std::string rest = Trimmed(text.substr(at));
  std::size_t zeros = 0;
  if (rest.substr(0, wan.size()) == wan) zeros = 4;
  if (rest.substr(0, yi.size()) == yi) zeros = 8;
  if (fraction.size() > zeros) fraction.resize(zeros);
  std::string number = digits + fraction + std::string(zeros - fraction.size(), '0');
  const auto first = number.find_first_not_of('0');
  return first == std::string::npos ? "0" : number.substr(first);
}

std::vector<std::string> DetailValues(const PageDetail& detail, const std::string& text) {
  switch (detail.form) {
    case PageDetail::Form::kRange: {
      const auto tilde = text.find('~');
      if (tilde == std::string::npos) {
        const std::string single = PageNumber(text);
        return {single, single};
      }
      return {PageNumber(std::string_view(text).substr(0, tilde)),
              PageNumber(std::string_view(text).substr(tilde + 1))};
    }
    case PageDetail::Form::kCount:
      return {PageNumber(text)};
    case PageDetail::Form::kText: {
      std::string value = Trimmed(text);
      // A dash or nothing is the page's way of saying it does not know.
      if (value == "-" || value == "--") value.clear();
      // One line, however the markup wraps it.
      std::replace_if(
          value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
      return {value};
    }
  }
  return {};
}

bool Chosen(const std::vector<std::string>& fields, const char* field) {
  return std::find(fields.begin(), fields.end(), field) != fields.end();
}

long long NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool IsPageField(const std::string& field) {
  return std::any_of(std::begin(kPageDetails), std::end(kPageDetails),
                     [&field](const PageDetail& detail) { return field == detail.field; });
}

std::vector<std::pair<std::string, std::string>> BrowserHeaders(const std::string& userAgent) {
  return {
      {"User-Agent", userAgent.empty() ? "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
                                         "Gecko) Chrome/139.0.0.0 Safari/537.36"
                                       : userAgent},
      {"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,image/apng,*/*;q=0.8"},
      {"Accept-Language", "zh-CN,zh;q=0.9"},
  };
}

std::vector<std::string> DetailColumns(const std::vector<std::string>& fields) {
  std::vector<std::string> columns;
  for (const PageDetail& detail : kPageDetails) {
    if (!Chosen(fields, detail.field)) continue;
    if (detail.form == PageDetail::Form::kRange) {
      columns.push_back(std::string(detail.field) + "_min");
      columns.push_back(std::string(detail.field) + "_max");
    } else {
      columns.emplace_back(detail.field);
    }
  }
  return columns;
}

std::string DomainPageUrl(const std::string& domain, const std::string& service) {
  return Rebase(std::string(kServiceOrigin) + "/cha/" + UrlPiece(domain) + "/", service);
}

std::string FillUrl(const std::string& kind, const std::string& domain, const std::string& rn, const std::string& cc,
                    const std::string& callback, long long milliseconds, const std::string& service) {
  return Rebase(std::string(kFillOrigin) + "/pr/" + UrlPiece(kind) + "?callback=" + UrlPiece(callback) +
                    "&domain=" + UrlPiece(domain) + "&rn=" + UrlPiece(rn) + "&cc=" + UrlPiece(cc) +
                    "&_=" + std::to_string(milliseconds),
                service);
}

PageReading ReadPage(const std::string& page, const std::string& domain, const std::vector<std::string>& fields) {
  PageReading reading;
  LookupResult& result = reading.result;
  result.domain = domain;
  const std::size_t weights = std::size(kPageWeights);
  result.values.resize(weights + DetailColumns(fields).size());
  const std::vector<Tag> tags = TagScanner(page).All();
  std::vector<bool> seen(weights);
  std::vector<bool> seenDetail(std::size(kPageDetails));
  bool hasWeights = false;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    if (const PageWeight* weight = WeightWithId(tags[i])) {
      hasWeights = true;
      const auto column = static_cast<std::size_t>(weight - std::begin(kPageWeights));
      // The first element with an id wins, as it does in a browser.
      if (seen[column]) continue;
      seen[column] = true;
      if (const Tag* image = ImageOf(tags, i)) {
        bool placeholder = false;
        result.values[column] = WeightOfImage(*image, *weight, &placeholder);
        if (placeholder) reading.placeholders.push_back(column);
      }
      continue;
    }
    const Attribute* id = tags[i].closing ? nullptr : tags[i].Find("id");
    if (id == nullptr) continue;
    std::size_t column = weights;
    for (std::size_t d = 0; d < std::size(kPageDetails); ++d) {
      const PageDetail& detail = kPageDetails[d];
      const bool chosen = Chosen(fields, detail.field);
      if (chosen && !seenDetail[d] && text::EqualsIgnoreAsciiCase(Trimmed(id->value), detail.id)) {
        seenDetail[d] = true;
        const std::vector<std::string> values = DetailValues(detail, TextOf(page, tags, i));
        std::copy(values.begin(), values.end(), result.values.begin() + static_cast<std::ptrdiff_t>(column));
      }
      if (chosen) column += detail.form == PageDetail::Form::kRange ? 2 : 1;
    }
  }
  if (!hasWeights) {
    // Checked only here: a page with the weights may well mention a captcha
    // (a log-in form's) without being a check.
    result.outcome = Outcome::kRefused;
    result.reason = IsVerificationPage(page) ? "验证页面" : "页面没有权重";
    reading.placeholders.clear();
    return reading;
  }
  if (!IsAbout(page, tags, domain)) {
    // Another domain's weights are never this one's.
    result.outcome = Outcome::kRefused;
    result.reason = "页面不是这个域名的";
    std::fill(result.values.begin(), result.values.end(), std::string());
    reading.placeholders.clear();
    return reading;
  }
  reading.rn = ScriptToken(page, "rn", false);
  reading.cc = ScriptToken(page, "cc", true);
  result.outcome = result.values[0].empty() || result.values[1].empty() ? Outcome::kNone : Outcome::kFound;
  return reading;
}

LookupResult ReadDomainPage(const std::string& page, const std::string& domain,
                            const std::vector<std::string>& fields) {
  PageReading reading = ReadPage(page, domain, fields);
  if (!reading.placeholders.empty()) {
    reading.result.outcome = Outcome::kFailed;
    reading.result.reason = "权重未填充";
  }
  return reading.result;
}

std::optional<std::string> ReadFillAnswer(const std::string& answer, const std::string& callback) {
  std::string_view text = answer;
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && (IsSpace(text.back()) || text.back() == ';')) text.remove_suffix(1);
  if (!text.starts_with(callback + "(") || !text.ends_with(")")) return std::nullopt;
  text = text.substr(callback.size() + 1, text.size() - callback.size() - 2);
  const auto key = text.find("\"pr\"");
  if (key == std::string_view::npos) return std::nullopt;
  std::size_t at = key + 4;
  while (at < text.size() && IsSpace(text[at])) ++at;
  if (at >= text.size() || text[at] != ':') return std::nullopt;
  ++at;
  while (at < text.size() && IsSpace(text[at])) ++at;
  std::string value;
  if (at < text.size() && text[at] == '"') {
    const auto end = text.find('"', at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    value = Trimmed(text.substr(at + 1, end - at - 1));
  } else {
    const auto start = at;
    while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) != 0 || text[at] == '-')) ++at;
    value = std::string(text.substr(start, at - start));
    if (value == "null") value.clear();
  }
  if (AllDigits(value)) return value;
  // The service's own word for "none".
  if (value.empty() || text::EqualsIgnoreAsciiCase(value, "n")) return std::string();
  return std::nullopt;
}

std::vector<std::string> PageSource::Columns() const {
  std::vector<std::string> columns;
  for (const PageWeight& weight : kPageWeights) columns.emplace_back(weight.column);
  for (std::string& column : DetailColumns(settings_.pageFields)) columns.push_back(std::move(column));
  return columns;
}

std::string PageSource::Cookies(const Exit& exit) {
  const std::lock_guard lock(mutex_);
  return sessions_[exit.Name() + "\n" + exit.user];
}

void PageSource::KeepCookies(const Exit& exit, std::string cookies) {
  const std::lock_guard lock(mutex_);
  sessions_[exit.Name() + "\n" + exit.user] = std::move(cookies);
}

std::optional<std::string> PageSource::Fill(PageReading& reading, std::size_t weight, const std::string& pageUrl,
                                            const Exit& exit) {
  const PageWeight& what = kPageWeights[weight];
  const std::string name = std::string("填充") + what.column;
  if (reading.rn.empty() || reading.cc.empty()) return name + "：页面没有 rn 和 cc";
  const long long now = NowMilliseconds();
  // A name of the kind a page's script library gives its callbacks.
  const std::string callback = "jQuery1124" + std::to_string(now % 100000000000LL) + "_" + std::to_string(now);
  FetchRequest request;
  request.url = FillUrl(what.fillKind, reading.result.domain, reading.rn, reading.cc, callback, now, settings_.service);
  request.exit = exit;
  request.timeout = settings_.timeout;
  request.headers = BrowserHeaders(settings_.userAgent);
  request.headers[1].second = "text/javascript, application/javascript, */*; q=0.01";
  request.headers.emplace_back("Referer", pageUrl);
  request.cookie = settings_.cookie;
  request.cookies = Cookies(exit);
  const FetchResult answer = Fetch(request);
  KeepCookies(exit, answer.cookies);
  if (std::optional<LookupResult> verdict = ClassifyAnswer(answer, reading.result.domain)) {
    reading.result.outcome = verdict->outcome;
    reading.result.retryAfter = verdict->retryAfter;
    return name + "：" + verdict->reason;
  }
  const std::optional<std::string> value = ReadFillAnswer(answer.body, callback);
  if (!value) return name + "：应答读不懂";
  reading.result.values[weight] = *value;
  return std::nullopt;
}

LookupResult PageSource::LookupOne(const std::string& domain, const Exit& exit) {
  FetchRequest request;
  request.url = DomainPageUrl(domain, settings_.service);
  request.exit = exit;
  request.timeout = settings_.timeout;
  request.headers = BrowserHeaders(settings_.userAgent);
  request.cookie = settings_.cookie;
  request.cookies = Cookies(exit);
  const FetchResult answer = Fetch(request);
  KeepCookies(exit, answer.cookies);
  if (std::optional<LookupResult> result = ClassifyAnswer(answer, domain)) return std::move(*result);
  if (!answer.redirectedTo.empty()) {
    // The page asked for is one place; anywhere else (the home page, a
    // log-in) is the service sending this exit away.
    LookupResult result;
    result.domain = domain;
    result.outcome = Outcome::kRefused;
    result.reason = "重定向到 " + text::ToUtf8(answer.redirectedTo);
    result.retryAfter = answer.retryAfter;
    return result;
  }
  PageReading reading = ReadPage(answer.body, domain, settings_.pageFields);
  reading.result.retryAfter = answer.retryAfter;
  for (const std::size_t weight : reading.placeholders) {
    if (std::optional<std::string> problem = Fill(reading, weight, request.url, exit)) {
      // A weight the page could not show is no answer for the domain: it is
      // tried again, never written as "no weight".
      LookupResult result;
      result.domain = domain;
      result.outcome = reading.result.outcome == Outcome::kRefused ? Outcome::kRefused : Outcome::kFailed;
      result.reason = std::move(*problem);
      result.retryAfter = reading.result.retryAfter;
      return result;
    }
  }
  LookupResult& result = reading.result;
  if (result.outcome != Outcome::kRefused) {
    result.outcome = result.values[0].empty() || result.values[1].empty() ? Outcome::kNone : Outcome::kFound;
  }
  return std::move(result);
}

std::vector<LookupResult> PageSource::Lookup(const std::vector<std::string>& domains, const Exit& exit) {
  std::vector<LookupResult> results;
  results.reserve(domains.size());
  const std::size_t columns = Columns().size();
  for (const std::string& domain : domains) {
    LookupResult result = LookupOne(domain, exit);
    if (result.outcome == Outcome::kRefused) result.why = Why::kRefused;
    result.values.resize(columns);
    results.push_back(std::move(result));
  }
  return results;
}

}  // namespace rankora::lookup
