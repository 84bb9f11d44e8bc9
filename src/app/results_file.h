// The results file: one line per row, "domain | weight" and CR LF, GBK bytes,
// nothing else; and the files and folders the save uses.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace rankora::app {

using ResultRow = std::array<std::string, 2>;

// The whole file's bytes for these rows.
std::string ResultsText(const std::vector<ResultRow>& rows);

// Creates or empties the file at `path` (GBK) and writes the rows into it.
// True only when every byte was written and the file closed without error.
bool WriteResultsFile(const std::string& path, const std::vector<ResultRow>& rows);

// The process's current folder, as GBK text.
std::string CurrentFolder();

}  // namespace rankora::app
