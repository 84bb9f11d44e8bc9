#include "app/results_file.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "text/gbk.h"

namespace rankora::app {
namespace {

// The native form of a GBK path: this platform's file names are UTF-8.
std::string NativePath(const std::string& path) { return text::ToUtf8(path); }

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};

}  // namespace

std::string ResultsText(const std::vector<ResultRow>& rows) {
  std::string text;
  for (const ResultRow& row : rows) text += row[0] + " | " + row[1] + "\r\n";
  return text;
}

bool WriteResultsFile(const std::string& path, const std::vector<ResultRow>& rows) {
  if (path.empty()) return false;
  const std::string bytes = ResultsText(rows);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(NativePath(path).c_str(), "wb"));
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  // Closing flushes: a full disk shows here, so its result counts too.
  const bool closed = std::fclose(file.release()) == 0;
  return written && closed;
}

std::string CurrentFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string() : text::Gbk(folder.string());
}

}  // namespace rankora::app
