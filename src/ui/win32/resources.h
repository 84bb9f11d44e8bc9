// The IDs of the program's resources (rankora.rc), for C++ and the resource
// compiler alike.
#pragma once

#define RANKORA_APP_ICON 1

#ifdef __cplusplus
namespace rankora::ui::win32 {
inline constexpr int kAppIconId = RANKORA_APP_ICON;
}  // namespace rankora::ui::win32
#endif
