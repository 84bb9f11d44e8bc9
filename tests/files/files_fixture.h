// What the file layer's tests share: a fresh folder per test, and reading
// back what a write left.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace rankora::files {

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// A file name as UTF-8 text, whatever the platform's own form of it.
inline std::string NameText(const std::filesystem::path& name) {
  const std::u8string utf8 = name.u8string();
  return {utf8.begin(), utf8.end()};
}

// The names in a folder, so that a stray half-written file shows.
inline std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(NameText(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("rankora-files-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    // A file left read only would keep its folder from being removed.
    for (auto entry = std::filesystem::recursive_directory_iterator(folder_, ignored);
         entry != std::filesystem::recursive_directory_iterator(); entry.increment(ignored)) {
      std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ignored);
    }
    std::filesystem::remove_all(folder_, ignored);
  }

  std::filesystem::path folder_;
};

}  // namespace rankora::files
