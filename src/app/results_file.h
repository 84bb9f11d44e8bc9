// The results file: one line per row, "domain | weight" and CR LF, GBK bytes,
// nothing else; and the files and folders the save uses.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace rankora::app {

using ResultRow = std::array<std::string, 2>;

// The whole file's bytes for these rows.
std::string ResultsText(const std::vector<ResultRow>& rows);

// Writes the rows as the whole content of the file at `path`, all of them or,
// on failure, nothing (the old file stays as it was). Returns why it failed,
// or no error.
std::error_code WriteResultsFile(const std::filesystem::path& path, const std::vector<ResultRow>& rows);

// The process's current folder; empty when it cannot be told.
std::filesystem::path CurrentFolder();

}  // namespace rankora::app
