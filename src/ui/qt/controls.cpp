#include "ui/qt/controls.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include "ui/qt/qt_text.h"
#include "ui/qt/result_model.h"

namespace rankora::ui::qt {

void QtStartButton::SetEnabled(bool enabled) { button_.setEnabled(enabled); }

void QtStartButton::SetCaption(const std::string& caption) { button_.setText(ToQString(caption)); }

std::string QtDomainBox::Text() const {
  // The document keeps its own line breaks; the core reads CR LF only. Plain
  // replacing, since a regular expression refuses text that is not valid
  // UTF-16 (an unpaired surrogate) and would leave every break as it was.
  QString text = edit_.toPlainText();
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return FromQString(text);
}

void QtDomainBox::SetText(const std::string& text) {
  QString plain = ToQString(text);
  plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  edit_.setPlainText(plain);
}

int QtResultList::RowCount() const { return model_.rowCount(); }

int QtResultList::ColumnCount() const { return model_.columnCount(); }

int QtResultList::InsertRow() {
  const int row = model_.AppendRow();
  // Each new row shows as it arrives; scrolling lays the whole view out, so
  // it happens once when the window next turns to its events, not per row.
  if (!scrollPending_) {
    scrollPending_ = true;
    QTimer::singleShot(0, &view_, [this] {
      scrollPending_ = false;
      if (model_.rowCount() > 0) view_.scrollTo(model_.index(model_.rowCount() - 1, 0));
    });
  }
  return row;
}

void QtResultList::SetCellText(int row, int column, const std::string& text) { model_.SetCell(row, column, text); }

std::string QtResultList::CellText(int row, int column) const { return model_.Cell(row, column); }

void QtResultList::SetColumns(const std::vector<std::string>& headers) {
  QStringList shown;
  for (const std::string& header : headers) shown.push_back(ToQString(header));
  model_.SetColumns(shown);
  // The seed's two columns keep their widths; a source's wider row fits the
  // list without scrolling sideways: the domain, narrow values, the status.
  QHeaderView* header = view_.header();
  const int last = model_.columnCount() - 1;
  for (int column = 0; column <= last; ++column) {
    int width = column == 0 ? 260 : 80;
    if (last > 1) width = column == 0 ? 125 : column == last ? 110 : 42;
    header->resizeSection(column, width);
  }
}

std::string QtResultList::HeaderText(int column) const {
  return FromQString(model_.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
}

QStringList NameFiltersFromPipeList(const QString& filter) {
  QString full = filter;
  if (!full.endsWith(QStringLiteral("||"))) full += full.endsWith(QLatin1Char('|')) ? "|" : "||";
  const QStringList parts = full.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& patterns = parts[i + 1];
    if (description.isEmpty() && patterns.isEmpty()) break;
    QString patternList = patterns;
    patternList.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << (description == patterns ? patternList : description + " (" + patternList + ")");
  }
  return filters;
}

SaveFileDialog::SaveFileDialog(QWidget* parent) : QFileDialog(parent) {
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  // Qt's own dialog behaves the same on every desktop and under test.
  setOption(QFileDialog::DontUseNativeDialog);
}

void SaveFileDialog::accept() {
  const QStringList files = selectedFiles();
  if (!files.isEmpty()) {
    const QFileInfo chosen(files.first());
    if (!chosen.isDir() && !chosen.absoluteDir().exists()) {
      QMessageBox::warning(this, windowTitle(),
                           tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(chosen.absolutePath())));
      return;
    }
  }
  QFileDialog::accept();
}

QtSaveDialog::QtSaveDialog(QWidget* owner) : QObject(owner), owner_(owner) {}

bool QtSaveDialog::Show() {
  SaveFileDialog dialog(owner_);
  dialog.setNameFilters(NameFiltersFromPipeList(filter_));
  if (!initialFolder_.isEmpty()) dialog.setDirectory(initialFolder_);
  // A full path from the last choice also opens its folder, over the initial one.
  dialog.selectFile(fileName_);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return false;
  fileName_ = QFileInfo(files.first()).absoluteFilePath();
  QDir::setCurrent(QFileInfo(fileName_).absolutePath());
  return true;
}

std::filesystem::path QtSaveDialog::FileName() const { return ToPath(QDir::toNativeSeparators(fileName_)); }

void QtSaveDialog::SetInitialFolder(const std::filesystem::path& folder) { initialFolder_ = FromPath(folder); }

}  // namespace rankora::ui::qt
