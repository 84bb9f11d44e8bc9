// Sorting a report list by one column, highest or lowest first, as text,
// numbers or dates. The resulting order is exactly that of a selection sort
// in which the later of two records wins ties (so equal rows come out in the
// reverse of their order), but it is worked out in O(n log n) for any list
// whose number keys do not chain across the comparison's tolerance.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/window.h"

namespace rankora::app {

inline constexpr int kSortText = 10;
inline constexpr int kSortInteger = 3;
inline constexpr int kSortLong = 4;
inline constexpr int kSortNumber = 6;
inline constexpr int kSortDate = 8;

// Number keys closer than this compare as equal.
inline constexpr double kNumberTolerance = 0.0000001;

// Reorders the rows of `list` by `column`; every cell of a row moves with
// it. Gives one of "排序完成", "该超级列表框不是报表类型", "错误的列索引",
// "排序类型不对" (GBK); a sort started while another runs on this thread does
// nothing and gives the empty text.
std::string SortListByColumn(Window& window, ResultList& list, int column, std::optional<bool> ascending = {},
                             std::optional<bool> caseSensitive = {}, std::optional<int> sortType = {});

// The new order of the keys, as the old indexes in their new places.
// `sortType` is kSortText, kSortNumber or kSortDate.
std::vector<int> SortOrder(const std::vector<std::string>& keys, bool ascending, bool caseSensitive, int sortType);

// Full-width ASCII forms (lead byte 0xA3) and the full-width blank to their
// one-byte forms.
std::string FullWidthToAscii(std::string_view text);
// A key read as a number the way the C library's atof reads it.
double NumberKey(std::string_view text);
// A key read as a date-time value ready for comparing (see the .cpp).
double DateKey(std::string_view text);

}  // namespace rankora::app
