// How a long run's records show in the window's results list: the columns
// travel with the source (legacy 域名, 权重; page 域名, PC, 移动, 360, 搜狗,
// 必应, 谷歌, 状态; api 域名, PC, 移动, 预估流量, 状态), and a domain without a
// weight keeps its row, with its status (无权重, 被限制, 失败 and the reason) in
// the status column, or in the weight's place where there is none.
#pragma once

#include <string>
#include <vector>

#include "batch/record.h"
#include "lookup/source.h"

namespace rankora::app {

class RunRows {
 public:
  // `columns` are the source's value columns (lookup::Source::Columns).
  RunRows(lookup::SourceKind kind, std::vector<std::string> columns);

  // The list's headers, GBK.
  const std::vector<std::string>& Headers() const { return headers_; }
  // One record's cells under those headers, GBK.
  std::vector<std::string> Cells(const batch::Record& record) const;

 private:
  struct Shown {
    std::string header;  // GBK
    std::string column;  // the source's value column
  };
  std::vector<Shown> shown_;
  bool statusColumn_;
  std::vector<std::string> columns_;
  std::vector<std::string> headers_;
};

// A record's status in the list's words (GBK): 有权重, 无权重, 被限制：why,
// 失败：why.
std::string StatusText(const batch::Record& record);

// True when a row of the list holds a weight 导出成功的权重 writes: with a
// status column, its status is 有权重; without one, the weight's cell holds
// no status. `cells` are the row's, under `headers`.
bool RowHasWeight(const std::vector<std::string>& headers, const std::vector<std::string>& cells);

}  // namespace rankora::app
