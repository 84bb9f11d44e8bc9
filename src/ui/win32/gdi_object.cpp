#include "ui/win32/gdi_object.h"

#include <windows.h>

namespace rankora::ui::win32 {

void DeleteGdiObject(void* object) noexcept { DeleteObject(static_cast<HGDIOBJ>(object)); }

}  // namespace rankora::ui::win32
