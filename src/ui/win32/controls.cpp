#include "ui/win32/controls.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
// clang-format on

#include <vector>

#include "ui/win32/layout.h"
#include "ui/win32/wide_text.h"

namespace rankora::ui::win32 {
namespace {

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length < 0 ? 0 : length));
  return text;
}

}  // namespace

void Win32StartButton::SetEnabled(bool enabled) { EnableWindow(button_, enabled ? TRUE : FALSE); }

void Win32StartButton::SetCaption(const std::string& caption) { SetWindowTextW(button_, Wide(caption).c_str()); }

std::string Win32DomainBox::Text() const { return Narrow(WithCrLf(WindowText(edit_))); }

void Win32DomainBox::SetText(const std::string& text) { SetWindowTextW(edit_, WithCrLf(Wide(text)).c_str()); }

bool Win32ResultList::IsReportView() const {
  return (GetWindowLongPtrW(list_, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
}

int Win32ResultList::RowCount() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }

int Win32ResultList::ColumnCount() const {
  const auto header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
  return header == nullptr ? 0 : static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

int Win32ResultList::InsertRow() {
  wchar_t empty[] = L"";
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = empty;
  return static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool Win32ResultList::Holds(int row, int column) const {
  return row >= 0 && row < RowCount() && column >= 0 && column < ColumnCount();
}

void Win32ResultList::SetCellText(int row, int column, const std::string& text) {
  if (!Holds(row, column)) return;
  std::wstring wide = Wide(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string Win32ResultList::CellText(int row, int column) const {
  if (!Holds(row, column)) return {};
  // The list tells no text's length: a buffer the text fills up to its last
  // place may have cut it, so it is read again with a larger one.
  std::vector<wchar_t> buffer(256);
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = static_cast<std::size_t>(
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item)));
    if (length + 1 < buffer.size()) return Narrow(std::wstring_view(item.pszText, length));
    buffer.resize(buffer.size() * 4);
  }
}

void Win32ResultList::ApplyDpi(unsigned dpi) {
  dpi_ = dpi;
  const int columns = ColumnCount();
  for (int column = 0; column < columns; ++column) {
    int width = 0;
    if (columns <= 2) {
      width = column == 0 ? 260 : 80;
    } else {
      // A source's wider row fits the list without scrolling sideways.
      width = column == 0 ? 125 : column == columns - 1 ? 110 : 42;
    }
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(Scale(width, dpi), 0));
  }
}

void Win32ResultList::SetColumns(const std::vector<std::string>& headers) {
  SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
  while (ColumnCount() > 0) {
    if (SendMessageW(list_, LVM_DELETECOLUMN, 0, 0) == FALSE) break;
  }
  for (std::size_t column = 0; column < headers.size(); ++column) {
    std::wstring header = Wide(headers[column]);
    LVCOLUMNW entry{};
    entry.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
    entry.fmt = LVCFMT_LEFT;
    entry.pszText = header.data();
    entry.iSubItem = static_cast<int>(column);
    SendMessageW(list_, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&entry));
  }
  ApplyDpi(dpi_);
}

std::string Win32ResultList::HeaderText(int column) const {
  if (column < 0 || column >= ColumnCount()) return {};
  std::vector<wchar_t> text(256, L'\0');
  LVCOLUMNW entry{};
  entry.mask = LVCF_TEXT;
  entry.pszText = text.data();
  entry.cchTextMax = static_cast<int>(text.size());
  if (SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&entry)) == FALSE) {
    return {};
  }
  return Narrow(entry.pszText);
}

unsigned long Win32SaveDialog::Options() {
  // No OFN_FILEMUSTEXIST: a save names a new file as often as an old one.
  // No OFN_NOCHANGEDIR: confirming makes the file's folder the current one.
  return OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
}

bool Win32SaveDialog::Show() {
  // Room for the longest path the platform can name.
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring offered = fileName_.wstring();
  offered.copy(file.data(), std::min(offered.size(), file.size() - 1));
  const std::wstring folder = initialFolder_.wstring();
  static constexpr wchar_t kFilter[] = L"*.txt\0*.txt\0";

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner_;
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.Flags = Options();
  if (!GetSaveFileNameW(&dialog)) return false;
  fileName_ = std::filesystem::path(std::wstring(file.data()));
  // The platform's dialog changes the current folder as it goes; the folder
  // of the confirmed file is made current here so that it holds whatever
  // the dialog did on the way.
  if (fileName_.has_parent_path()) SetCurrentDirectoryW(fileName_.parent_path().c_str());
  return true;
}

}  // namespace rankora::ui::win32
