// The forms a long run writes its output in, each a RecordFormat so the
// journal can append to it and read it back:
//   results: the window's "domain | weight" CR LF lines in GBK, the weight the
//            source's main one; a domain without a weight carries its status
//            in its place, so nothing is silently dropped and the window still
//            reads the domains back;
//   csv:     UTF-8 with a byte-order mark (so Excel shows the Chinese), a
//            header, one column per weight, then status, attempts, exit, time;
//   jsonl:   one JSON object a line.
// And the Excel workbook written at the end from all records, where the
// build has a writer for it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "batch/journal.h"

namespace rankora::batch {

enum class FormKind { kResults, kCsv, kJsonl };

// `columns` are the source's value columns (lookup::Source::Columns).
std::unique_ptr<RecordFormat> MakeForm(FormKind kind, const std::vector<std::string>& columns);

// False where this build has no workbook writer (Windows).
bool CanWriteWorkbook();
// Writes all records as one sheet: the same columns as the CSV. Returns why
// it failed, or no error.
std::error_code WriteWorkbook(const std::filesystem::path& path, const std::vector<std::string>& columns,
                              const std::vector<Record>& records);

}  // namespace rankora::batch
