// What the save tests share: a fresh folder per test, saving through the
// handler, the messages a save shows, and reading back what it left.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/texts.h"
#include "fake_window.h"
#include "text/gbk.h"

namespace rankora::app {

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

inline std::string Failed(const char* reason) { return GetTexts().saveFailed + text::Gbk(reason); }

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("rankora-save-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Saves through the handler and waits for the file to be written.
  void Save(const std::filesystem::path& path) {
    window_.confirm = true;
    window_.fileName = path;
    program_.SaveResults();
    program_.WaitForSaves();
  }
  // The message a save shows comes after its file is written.
  std::vector<std::string> MessagesAfter(std::size_t count) {
    testing::FakeWindow::Log& log = *window_.workerMessages;
    std::unique_lock lock(log.mutex);
    // Bounded, so that a message that never comes fails the test instead of
    // hanging it.
    log.arrived.wait_for(lock, std::chrono::seconds(30), [&] { return log.texts.size() >= count; });
    return log.texts;
  }

  std::filesystem::path folder_;
  testing::FakeWindow window_;
  Program program_{window_, [](const std::string& domain) { return domain; }};
};

}  // namespace rankora::app
