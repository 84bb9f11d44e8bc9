// The main window's controls as the click handlers see them, each over its
// Win32 control (or, for the save dialog, over the common dialog it shows).
// Every call is made on the window thread.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/window.h"

struct HWND__;
using HWND = HWND__*;

namespace rankora::ui::win32 {

class Win32StartButton final : public app::StartButton {
 public:
  void Attach(HWND button) { button_ = button; }
  void SetEnabled(bool enabled) override;
  void SetCaption(const std::string& caption) override;

 private:
  HWND button_ = nullptr;
};

class Win32DomainBox final : public app::DomainBox {
 public:
  void Attach(HWND edit) { edit_ = edit; }
  std::string Text() const override;
  void SetText(const std::string& text) override;

 private:
  HWND edit_ = nullptr;
};

// A report-view list view; its sort-on-insert style puts a row inserted with
// an empty item text after every row with text. Its columns are as wide as
// the window's DPI makes the layout's widths: the seed's two 260 and 80, a
// long run's domain 150, each value 50 and the status 150.
class Win32ResultList final : public app::ResultList {
 public:
  void Attach(HWND list) { list_ = list; }
  // Sizes the columns for `dpi`.
  void ApplyDpi(unsigned dpi);
  bool IsReportView() const override;
  int RowCount() const override;
  int ColumnCount() const override;
  int InsertRow() override;
  void SetCellText(int row, int column, const std::string& text) override;
  std::string CellText(int row, int column) const override;
  void SetColumns(const std::vector<std::string>& headers) override;
  std::string HeaderText(int column) const override;

 private:
  bool Holds(int row, int column) const;
  HWND list_ = nullptr;
  unsigned dpi_ = 96;
};

// The platform's save-file dialog: offers "*.txt" at first and then the last
// chosen path, one filter "*.txt", no default extension; the folder must
// exist and an existing file is confirmed before it is replaced. A new file
// may be named.
class Win32SaveDialog final : public app::SaveDialog {
 public:
  void Attach(HWND owner) { owner_ = owner; }
  bool Show() override;
  std::filesystem::path FileName() const override { return fileName_; }
  void SetInitialFolder(const std::filesystem::path& folder) override { initialFolder_ = folder; }

  // The flags the dialog is shown with.
  static unsigned long Options();

 private:
  HWND owner_ = nullptr;
  std::filesystem::path fileName_ = L"*.txt";
  std::filesystem::path initialFolder_;
};

}  // namespace rankora::ui::win32
