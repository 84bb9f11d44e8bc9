// Qt's side of the window interfaces of app/: each adapter serves one control.
#pragma once

#include <QFileDialog>
#include <QObject>
#include <QStringList>
#include <string>

#include "app/window.h"

class QPlainTextEdit;
class QPushButton;
class QTreeView;

namespace rankora::ui::qt {

class ResultModel;

class QtStartButton final : public app::StartButton {
 public:
  explicit QtStartButton(QPushButton& button) : button_(button) {}
  void SetEnabled(bool enabled) override;
  void SetCaption(const std::string& caption) override;

 private:
  QPushButton& button_;
};

class QtDomainBox final : public app::DomainBox {
 public:
  explicit QtDomainBox(QPlainTextEdit& edit) : edit_(edit) {}
  std::string Text() const override;
  void SetText(const std::string& text) override;

 private:
  QPlainTextEdit& edit_;
};

class QtResultList final : public app::ResultList {
 public:
  QtResultList(QTreeView& view, ResultModel& model) : view_(view), model_(model) {}
  bool IsReportView() const override { return true; }
  int RowCount() const override;
  int ColumnCount() const override;
  int InsertRow() override;
  void SetCellText(int row, int column, const std::string& text) override;
  std::string CellText(int row, int column) const override;
  void SetColumns(const std::vector<std::string>& headers) override;
  std::string HeaderText(int column) const override;

 private:
  QTreeView& view_;
  ResultModel& model_;
  bool scrollPending_ = false;
};

// The filter texts of the save dialog are pipe-separated pairs of description
// and pattern ("*.txt|*.txt|"); Qt wants one name filter per pair.
QStringList NameFiltersFromPipeList(const QString& filter);

// A save dialog that also refuses a file in a folder that does not exist.
class SaveFileDialog : public QFileDialog {
  Q_OBJECT

 public:
  explicit SaveFileDialog(QWidget* parent);
  void accept() override;
};

// The save dialog component 通用对话框1. It has no window of its own until it
// is shown; each showing builds a fresh dialog from the settings kept here.
class QtSaveDialog final : public QObject, public app::SaveDialog {
  Q_OBJECT

 public:
  explicit QtSaveDialog(QWidget* owner);
  bool Show() override;
  std::filesystem::path FileName() const override;
  void SetInitialFolder(const std::filesystem::path& folder) override;

 private:
  QWidget* owner_;
  QString fileName_ = QStringLiteral("*.txt");
  QString filter_ = QStringLiteral("*.txt|*.txt|");
  QString initialFolder_;
};

}  // namespace rankora::ui::qt
