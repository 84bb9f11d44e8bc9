#include "ui/win32/layout.h"

#include <cmath>

namespace rankora::ui::win32 {
namespace {

constexpr Placement kPlacements[] = {
    {"超级按钮1", kMakerButtonId, 432, 184, 72, 32},
    {"标签2", kCreditLabelId, 16, 184, 408, 32},
    {"按钮3", kSortButtonId, 216, 408, 88, 24},
    {"标签1", kHintLabelId, 352, 408, 152, 24},
    {"按钮2", kSaveButtonId, 104, 408, 96, 24},
    {"按钮1", kStartButtonId, 8, 408, 88, 24},
    {"超级列表框1", kResultListId, 8, 215, 512, 184},
    {"编辑框1", kDomainBoxId, 8, 8, 512, 176},
    {"状态栏", kStatusLineId, 8, kClientHeight + 2, 511, kStatusHeight - 4},
};

}  // namespace

std::span<const Placement> Placements() { return kPlacements; }

int ControlIdOf(std::string_view utf8Name) {
  for (const Placement& placement : kPlacements) {
    if (placement.name == utf8Name) return placement.id;
  }
  return 0;
}

int Scale(int length, unsigned dpi) {
  // As MulDiv does: to the nearest, halves away from zero.
  return static_cast<int>(std::lround(static_cast<double>(length) * dpi / 96.0));
}

}  // namespace rankora::ui::win32
