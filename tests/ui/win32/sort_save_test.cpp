// Sorting and saving through the real Win32 window: the sort button, the
// save dialog, the file's bytes and the confirmation, as the window contract
// has them for every window.
#include <gtest/gtest.h>

#include "window_contract.h"
#include "window_driver.h"

namespace rankora::ui::win32 {
namespace {

using contract::WindowSortSaveContract;
INSTANTIATE_TEST_SUITE_P(Win32, WindowSortSaveContract, ::testing::Values(testing::kWin32Window), contract::KindName);

}  // namespace
}  // namespace rankora::ui::win32
