// The rows of the results list, held as the core's GBK texts so that filling,
// reading, sorting and saving never convert; only painted cells are turned
// into Qt strings.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

namespace rankora::ui::qt {

class ResultModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  ResultModel(QString domainHeader, QString weightHeader, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  int AppendRow();
  void SetCell(int row, int column, std::string text);
  // Empty text for a cell outside the list.
  const std::string& Cell(int row, int column) const;
  // New columns, and no rows.
  void SetColumns(QStringList headers);

 private:
  std::vector<std::vector<std::string>> rows_;
  QStringList headers_;
};

}  // namespace rankora::ui::qt
