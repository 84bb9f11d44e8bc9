// 查询 → 设置: the window's run settings in a modal dialog titled 设置,
// made in code. Its controls carry the IDs of layout.h (SettingsControlId,
// IDOK for 确定, IDCANCEL for 取消).
#pragma once

#include "app/settings.h"

struct HWND__;
using HWND = HWND__*;

namespace rankora::ui::win32 {

// Shows the dialog over `owner` with `settings` in it. On 确定 with
// settings that app::CheckSettings accepts, puts them in `settings` and
// gives true; settings it refuses are explained in a box titled 信息： and
// the dialog stays open. False on 取消 or closing.
bool EditSettingsModally(HWND owner, app::Settings& settings);

}  // namespace rankora::ui::win32
