#include "ui/win32/file_choice.h"

// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "ui/win32/wide_text.h"

namespace rankora::ui::win32 {

std::optional<std::filesystem::path> ChooseFileName(HWND owner, const FileDialog& choice) {
  std::wstring filter;
  for (const auto& [description, pattern] : choice.filters) {
    filter += WideFromUtf8(description) + L'\0' + WideFromUtf8(pattern) + L'\0';
  }
  filter += L'\0';
  std::vector<wchar_t> file(32768, L'\0');
  choice.suggestedName.copy(file.data(), std::min(choice.suggestedName.size(), file.size() - 1));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = choice.extension.empty() ? nullptr : choice.extension.c_str();
  // Unlike 通用对话框1's, these leave the current folder as it is.
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (choice.save) {
    dialog.Flags |= OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  } else {
    dialog.Flags |= OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  }
  return std::filesystem::path(std::wstring(file.data()));
}

}  // namespace rankora::ui::win32
