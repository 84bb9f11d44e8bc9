#include "batch/forms.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>

#include <nlohmann/json.hpp>

#include "batch/record_cells.h"
#include "text/gbk.h"

namespace rankora::batch {
namespace {

constexpr std::string_view kBar = " | ";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool HasLineBreak(std::string_view line) { return line.find_first_of("\r\n") != std::string_view::npos; }

class ResultsForm : public RecordFormat {
 public:
  explicit ResultsForm(const std::vector<std::string>& columns)
      : values_(std::max<std::size_t>(columns.size(), 1)),
        none_(text::Gbk("无权重")),
        refused_(text::Gbk("被限制")),
        failed_(text::Gbk("失败")) {}

  std::string Preamble() const override { return {}; }
  std::string LineEnd() const override { return "\r\n"; }
  bool InGbk() const override { return true; }

  std::string Line(const Record& record) const override {
    return record.domain + std::string(kBar) + Weight(record) + "\r\n";
  }

  std::optional<Record> Parse(const std::string& line) const override {
    if (HasLineBreak(line)) return std::nullopt;
    const int bar = text::Find(line, kBar);
    if (bar <= 1) return std::nullopt;
    std::string weight = line.substr(static_cast<std::size_t>(bar) - 1 + kBar.size());
    if (weight.empty()) return std::nullopt;
    Record record;
    record.domain = line.substr(0, static_cast<std::size_t>(bar) - 1);
    record.values.resize(values_);
    if (weight == none_) {
      record.outcome = lookup::Outcome::kNone;
    } else if (weight == refused_) {
      record.outcome = lookup::Outcome::kRefused;
    } else if (weight == failed_) {
      record.outcome = lookup::Outcome::kFailed;
    } else {
      record.outcome = lookup::Outcome::kFound;
      record.values[0] = std::move(weight);
    }
    return record;
  }

 private:
  const std::string& Weight(const Record& record) const {
    switch (record.outcome) {
      case lookup::Outcome::kFound:
        // Found without a weight is written as no weight: an empty weight
        // would make a line that no form reads back.
        return record.values.empty() || record.values[0].empty() ? none_ : record.values[0];
      case lookup::Outcome::kNone:
        return none_;
      case lookup::Outcome::kRefused:
        return refused_;
      case lookup::Outcome::kFailed:
        break;
    }
    return failed_;
  }

  std::size_t values_;
  std::string none_;
  std::string refused_;
  std::string failed_;
};

// RFC 4180, with CR LF line ends as Excel writes them. A line break inside a
// field becomes a space: each record stays one line of the journal.
class CsvForm : public RecordFormat {
 public:
  explicit CsvForm(std::vector<std::string> columns) : columns_(std::move(columns)) {}

  std::string Preamble() const override { return std::string(kByteOrderMark) + Join(HeaderCells(columns_)); }
  std::string LineEnd() const override { return "\r\n"; }
  std::string Line(const Record& record) const override { return Join(RecordCells(record, columns_)); }

  std::optional<Record> Parse(const std::string& line) const override {
    std::vector<std::string> cells;
    Record record;
    if (!Split(line, cells) || !RecordFromCells(std::move(cells), columns_, record)) return std::nullopt;
    return record;
  }

 private:
  static std::string Join(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) line += ',';
      std::string cell = cells[i];
      std::replace_if(
          cell.begin(), cell.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
      if (cell.find_first_of(",\"") == std::string::npos) {
        line += cell;
        continue;
      }
      line += '"';
      for (const char c : cell) {
        if (c == '"') line += '"';
        line += c;
      }
      line += '"';
    }
    return line + "\r\n";
  }

  static bool Split(std::string_view line, std::vector<std::string>& cells) {
    if (HasLineBreak(line)) return false;
    std::size_t pos = 0;
    for (;;) {
      std::string cell;
      if (pos < line.size() && line[pos] == '"') {
        for (++pos;; ++pos) {
          if (pos >= line.size()) return false;  // no closing quote
          if (line[pos] == '"') {
            if (pos + 1 < line.size() && line[pos + 1] == '"') {
              cell += '"';
              ++pos;
              continue;
            }
            ++pos;
            break;
          }
          cell += line[pos];
        }
        if (pos < line.size() && line[pos] != ',') return false;
      } else {
        const std::size_t end = std::min(line.find(',', pos), line.size());
        cell = line.substr(pos, end - pos);
        if (cell.find('"') != std::string::npos) return false;
        pos = end;
      }
      cells.push_back(std::move(cell));
      if (pos >= line.size()) return true;
      ++pos;  // the comma
    }
  }

  std::vector<std::string> columns_;
};

class JsonlForm : public RecordFormat {
 public:
  explicit JsonlForm(std::vector<std::string> columns) : columns_(std::move(columns)), keys_(HeaderCells(columns_)) {}

  std::string Preamble() const override { return {}; }
  std::string LineEnd() const override { return "\n"; }

  std::string Line(const Record& record) const override {
    const std::vector<std::string> cells = RecordCells(record, columns_);
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      const bool value = i >= kFirstValueCell && i < kFirstValueCell + columns_.size();
      if (value && cells[i].empty()) {
        object[keys_[i]] = nullptr;
      } else if ((value || keys_[i] == "attempts") && IsInteger(cells[i])) {
        std::int64_t number = 0;
        std::from_chars(cells[i].data(), cells[i].data() + cells[i].size(), number);
        object[keys_[i]] = number;
      } else {
        object[keys_[i]] = cells[i];
      }
    }
    try {
      // Bytes that are no UTF-8 (a reason from a misbehaving service, say)
      // become U+FFFD instead of failing the line.
      return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    } catch (const nlohmann::ordered_json::exception&) {
      return "{}\n";
    }
  }

  std::optional<Record> Parse(const std::string& line) const override {
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    if (!object.is_object()) return std::nullopt;
    std::vector<std::string> cells;
    for (const std::string& key : keys_) {
      const auto found = object.find(key);
      if (found == object.end()) return std::nullopt;
      if (found->is_string()) {
        cells.push_back(found->get_ref<const std::string&>());
      } else if (found->is_null()) {
        cells.emplace_back();
      } else if (found->is_number_integer()) {
        cells.push_back(found->dump());
      } else {
        return std::nullopt;
      }
    }
    Record record;
    if (!RecordFromCells(std::move(cells), columns_, record)) return std::nullopt;
    return record;
  }

 private:
  std::vector<std::string> columns_;
  std::vector<std::string> keys_;
};

}  // namespace

std::unique_ptr<RecordFormat> MakeForm(FormKind kind, const std::vector<std::string>& columns) {
  switch (kind) {
    case FormKind::kResults:
      return std::make_unique<ResultsForm>(columns);
    case FormKind::kCsv:
      return std::make_unique<CsvForm>(columns);
    case FormKind::kJsonl:
      break;
  }
  return std::make_unique<JsonlForm>(columns);
}

}  // namespace rankora::batch
