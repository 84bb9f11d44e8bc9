#include "ui/qt/result_model.h"

#include "ui/qt/qt_text.h"

namespace rankora::ui::qt {
namespace {
const std::string kNoText;
}

ResultModel::ResultModel(QString domainHeader, QString weightHeader, QObject* parent)
    : QAbstractTableModel(parent), headers_{std::move(domainHeader), std::move(weightHeader)} {}

void ResultModel::SetColumns(QStringList headers) {
  beginResetModel();
  rows_.clear();
  headers_ = std::move(headers);
  endResetModel();
}

int ResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  return ToQString(Cell(index.row(), index.column()));
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
  if (role == Qt::DisplayRole) return headers_[section];
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // Without full-row selection only the item itself (column 0) is selectable,
  // as in a report-view list.
  return index.column() == 0 ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsEnabled;
}

int ResultModel::AppendRow() {
  const int row = static_cast<int>(rows_.size());
  beginInsertRows({}, row, row);
  rows_.emplace_back(static_cast<std::size_t>(headers_.size()));
  endInsertRows();
  return row;
}

void ResultModel::SetCell(int row, int column, std::string text) {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= headers_.size()) return;
  std::string& cell = rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  if (cell == text) return;
  cell = std::move(text);
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

const std::string& ResultModel::Cell(int row, int column) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= headers_.size()) return kNoText;
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

}  // namespace rankora::ui::qt
