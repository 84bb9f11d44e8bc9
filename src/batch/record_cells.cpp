#include "batch/record_cells.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "text/gbk.h"

namespace rankora::batch {

std::vector<std::string> HeaderCells(const std::vector<std::string>& columns) {
  std::vector<std::string> cells{"domain"};
  cells.insert(cells.end(), columns.begin(), columns.end());
  for (const char* name : {"status", "attempts", "exit", "time", "reason"}) cells.emplace_back(name);
  return cells;
}

std::vector<std::string> RecordCells(const Record& record, const std::vector<std::string>& columns) {
  std::vector<std::string> cells;
  cells.reserve(columns.size() + kFirstValueCell + kCellsAfterValues);
  cells.push_back(text::ToUtf8(record.domain));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    cells.push_back(i < record.values.size() ? text::ToUtf8(record.values[i]) : std::string());
  }
  cells.emplace_back(OutcomeName(record.outcome));
  cells.push_back(std::to_string(record.attempts));
  cells.push_back(record.exit);
  cells.push_back(record.time);
  cells.push_back(record.reason);
  return cells;
}

bool RecordFromCells(std::vector<std::string> cells, const std::vector<std::string>& columns, Record& record) {
  if (cells.size() != columns.size() + kFirstValueCell + kCellsAfterValues || cells[0].empty()) return false;
  const std::size_t after = kFirstValueCell + columns.size();
  Record read;
  if (!ParseOutcome(cells[after], read.outcome)) return false;
  const std::string& attempts = cells[after + 1];
  const char* end = attempts.data() + attempts.size();
  if (attempts.empty() || std::from_chars(attempts.data(), end, read.attempts).ptr != end) return false;
  read.domain = text::Gbk(cells[0]);
  for (std::size_t i = kFirstValueCell; i < after; ++i) read.values.push_back(text::Gbk(cells[i]));
  read.exit = std::move(cells[after + 2]);
  read.time = std::move(cells[after + 3]);
  read.reason = std::move(cells[after + 4]);
  record = std::move(read);
  return true;
}

bool IsInteger(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  if (text.empty() || text.size() > 18 || (text[0] == '0' && text.size() > 1)) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace rankora::batch
