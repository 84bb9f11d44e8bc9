#include "app/results_file.h"

#include "files/whole_file.h"

namespace rankora::app {

std::string ResultsText(const std::vector<ResultRow>& rows) {
  std::string text;
  for (const ResultRow& row : rows) text += row[0] + " | " + row[1] + "\r\n";
  return text;
}

std::error_code WriteResultsFile(const std::filesystem::path& path, const std::vector<ResultRow>& rows) {
  return files::WriteWholeFile(path, ResultsText(rows));
}

std::filesystem::path CurrentFolder() {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::filesystem::path() : folder;
}

}  // namespace rankora::app
