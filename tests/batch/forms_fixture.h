// What the forms' tests share: a record that exercises every field (a
// Chinese domain, a reason with commas and quotes), the source's columns,
// and a fresh folder per test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/record.h"
#include "text/gbk.h"

namespace rankora::batch {

inline const std::vector<std::string>& PageColumns() {
  static const std::vector<std::string> columns{"baidu_pc", "baidu_mobile", "360", "sogou", "shenma", "google"};
  return columns;
}

inline Record SampleRecord() {
  Record record;
  record.domain = text::Gbk("中文.com");
  record.outcome = lookup::Outcome::kFound;
  record.values = {"3", "", "5", "n/a", "0", "12"};
  record.reason = "慢, \"很\"慢, then 503";
  record.attempts = 2;
  record.exit = "127.0.0.1:8080";
  record.time = "2026-12-08 15:50:03";
  return record;
}

inline void ExpectSameRecord(const Record& actual, const Record& expected) {
  EXPECT_EQ(actual.domain, expected.domain);
  EXPECT_EQ(actual.outcome, expected.outcome);
  EXPECT_EQ(actual.values, expected.values);
  EXPECT_EQ(actual.reason, expected.reason);
  EXPECT_EQ(actual.attempts, expected.attempts);
  EXPECT_EQ(actual.exit, expected.exit);
  EXPECT_EQ(actual.time, expected.time);
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

class FormsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("rankora-forms-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
};

}  // namespace rankora::batch
