#include "app/run_rows.h"

#include <algorithm>

#include "text/gbk.h"

namespace rankora::app {
namespace {

using text::Gbk;

const std::string& StatusHeader() {
  static const std::string header = Gbk("状态");
  return header;
}

}  // namespace

RunRows::RunRows(lookup::SourceKind kind, std::vector<std::string> columns) : columns_(std::move(columns)) {
  switch (kind) {
    case lookup::SourceKind::kPage:
      shown_ = {{Gbk("PC"), "baidu_pc"}, {Gbk("移动"), "baidu_mobile"}, {"360", "360"},
                {Gbk("搜狗"), "sogou"},  {Gbk("必应"), "bing"},         {Gbk("谷歌"), "google"}};
      statusColumn_ = true;
      break;
    case lookup::SourceKind::kApi:
      shown_ = {{"PC", "pc_br"}, {Gbk("移动"), "m_br"}, {Gbk("预估流量"), "ip"}};
      statusColumn_ = true;
      break;
    default:
      shown_ = {{Gbk("权重"), columns_.empty() ? std::string("weight") : columns_.front()}};
      statusColumn_ = false;
      break;
  }
  headers_.push_back(Gbk("域名"));
  for (const Shown& shown : shown_) headers_.push_back(shown.header);
  if (statusColumn_) headers_.push_back(StatusHeader());
}

std::vector<std::string> RunRows::Cells(const batch::Record& record) const {
  std::vector<std::string> cells{record.domain};
  for (const Shown& shown : shown_) {
    const auto at = std::find(columns_.begin(), columns_.end(), shown.column);
    const auto index = static_cast<std::size_t>(at - columns_.begin());
    cells.push_back(at != columns_.end() && index < record.values.size() ? record.values[index] : std::string());
  }
  if (statusColumn_) {
    cells.push_back(StatusText(record));
  } else if (record.outcome != lookup::Outcome::kFound) {
    cells.back() = StatusText(record);
  }
  return cells;
}

std::string StatusText(const batch::Record& record) {
  const std::string why = record.reason.empty() ? std::string() : Gbk("：") + Gbk(record.reason);
  switch (record.outcome) {
    case lookup::Outcome::kFound:
      return Gbk("有权重");
    case lookup::Outcome::kNone:
      return Gbk("无权重");
    case lookup::Outcome::kRefused:
      return Gbk("被限制") + why;
    default:
      return Gbk("失败") + why;
  }
}

bool RowHasWeight(const std::vector<std::string>& headers, const std::vector<std::string>& cells) {
  const auto status = std::find(headers.begin(), headers.end(), StatusHeader());
  if (status != headers.end()) {
    const auto at = static_cast<std::size_t>(status - headers.begin());
    return at < cells.size() && cells[at] == Gbk("有权重");
  }
  if (cells.size() < 2) return false;
  for (const char* word : {"无权重", "被限制", "失败"}) {
    if (text::StartsWith(cells[1], Gbk(word))) return false;
  }
  return true;
}

}  // namespace rankora::app
