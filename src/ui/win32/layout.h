// The main window's layout at 96 DPI: its client area and, for each control,
// its name as the handlers and tests know it (按钮1, 编辑框1, ...), its
// control ID, its place and size in client-area pixels. The window scales
// every number with the DPI of the monitor it stands on.
#pragma once

#include <span>
#include <string_view>

namespace rankora::ui::win32 {

// The original window's client area, which every control but the status
// line keeps; the status line is below it, and the window's client area is
// taller by its height.
inline constexpr int kClientWidth = 527;
inline constexpr int kClientHeight = 437;
inline constexpr int kStatusHeight = 20;
inline constexpr int kWindowClientHeight = kClientHeight + kStatusHeight;

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
  kStatusLineId,          // 状态栏, below the original client area
};

// The menu bar's commands.
enum MenuCommand : int {
  kQuitCommand = 2001,  // 文件 → 退出
  kAboutCommand,        // 帮助 → 关于 Rankora
  kImportCommand,       // 文件 → 导入域名…
  kExportCsvCommand,    // 文件 → 导出 CSV…
  kSettingsCommand,     // 查询 → 设置…
  kStopCommand,         // 查询 → 停止, and Esc
  kRetryCommand,        // 查询 → 重查失败的
};

// The settings dialog's controls (查询 → 设置…); 确定 and 取消 are IDOK and
// IDCANCEL.
enum SettingsControlId : int {
  kSettingsSourceId = 3001,  // 来源: 旧接口, 爱站网页, 爱站接口
  kSettingsKeyId,            // the paid interface's key
  kSettingsCookieId,         // the page's cookie
  kSettingsProxiesId,        // the exits, one a line
  kSettingsLoadProxiesId,    // 从文件载入…
  kSettingsPerMinuteId,      // 每个出口每分钟查询
  kSettingsInFlightId,       // 同时进行的查询
  kSettingsCoolDownId,       // 出口被限制后第一次冷却(分钟)
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
