// The main window's layout at 96 DPI: its client area and, for each control,
// its name as the handlers and tests know it (按钮1, 编辑框1, ...), its
// control ID, its place and size in client-area pixels. The window scales
// every number with the DPI of the monitor it stands on.
#pragma once

#include <span>
#include <string_view>

namespace rankora::ui::win32 {

inline constexpr int kClientWidth = 527;
inline constexpr int kClientHeight = 437;

// The control IDs; none is IDOK or IDCANCEL, which dialog navigation sends
// for Enter and Escape.
enum ControlId : int {
  kMakerButtonId = 1001,  // 超级按钮1
  kCreditLabelId,         // 标签2
  kSortButtonId,          // 按钮3
  kHintLabelId,           // 标签1
  kSaveButtonId,          // 按钮2
  kStartButtonId,         // 按钮1
  kResultListId,          // 超级列表框1
  kDomainBoxId,           // 编辑框1
};

// The menu bar's commands.
enum MenuCommand : int {
  kQuitCommand = 2001,  // 文件 → 退出
  kAboutCommand,        // 帮助 → 关于 Rankora
};

struct Placement {
  std::string_view name;  // UTF-8
  int id;
  int left, top, width, height;
};

// In the stacking order of the window description, first created first.
std::span<const Placement> Placements();

// The control ID of the control called `utf8Name`, 0 for none.
int ControlIdOf(std::string_view utf8Name);

// A 96-DPI length at `dpi`, rounded as the platform rounds.
int Scale(int length, unsigned dpi);

}  // namespace rankora::ui::win32
