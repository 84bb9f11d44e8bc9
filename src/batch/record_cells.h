// The columns every table form of a record shares (the CSV, the JSON lines'
// keys, the workbook), internal to the forms: the domain, one per value of
// the source, then status, attempts, exit, time and reason.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "batch/record.h"

namespace rankora::batch {

// The names of the columns, in order.
std::vector<std::string> HeaderCells(const std::vector<std::string>& columns);

// A record's cells in the order of HeaderCells, UTF-8; a value the record
// lacks is empty.
std::vector<std::string> RecordCells(const Record& record, const std::vector<std::string>& columns);

// Where the values begin and how many cells follow them.
constexpr std::size_t kFirstValueCell = 1;
constexpr std::size_t kCellsAfterValues = 5;

// The inverse of RecordCells; false when the cells are no record (a wrong
// count, an unknown status, attempts that are no number).
bool RecordFromCells(std::vector<std::string> cells, const std::vector<std::string>& columns, Record& record);

// True for a whole number as a weight is written: an optional minus sign and
// decimal digits without a leading zero, short enough for a 64-bit integer.
bool IsInteger(std::string_view text);

}  // namespace rankora::batch
