// The platform's open and save dialogs, as the window's menus and the
// settings dialog ask for a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct HWND__;

namespace rankora::ui::win32 {

struct FileDialog {
  // Pairs of description and pattern ("文本文件 (*.txt)", "*.txt"), UTF-8.
  std::vector<std::pair<std::string, std::string>> filters;
  bool save = false;           // a file to write, which may be new
  std::wstring suggestedName;  // save only: what the name box starts with
  std::wstring extension;      // save only: added to a name typed without one
};

// The file the user chose, or nothing when the dialog was cancelled. Neither
// dialog changes the process's current folder; the save dialog asks before
// replacing a file.
std::optional<std::filesystem::path> ChooseFileName(HWND__* owner, const FileDialog& choice);

}  // namespace rankora::ui::win32
