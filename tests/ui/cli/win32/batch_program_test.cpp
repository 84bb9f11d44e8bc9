// rankora-batch.exe as Windows users run it, against the stand-in weight
// service on loopback: every request goes through the platform's own
// request component.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "text/gbk.h"
#include "weight_service.h"

namespace rankora::cli {
namespace {

using testing::ChildProcess;
using testing::ReadWholeFile;
using tools::WeightServiceExits;
using tools::WeightServiceOptions;

// The program beside the test program in the build tree.
std::string Program() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u8string path =
      (std::filesystem::path(self).parent_path() / RANKORA_BATCH_PROGRAM).lexically_normal().u8string();
  return std::string(path.begin(), path.end());
}

class BatchProgramOnWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("rankora-batch-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string File(const std::string& name) const {
    const std::u8string path = (folder_ / name).u8string();
    return std::string(path.begin(), path.end());
  }
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
    return File(name);
  }
  static int Run(const std::vector<std::string>& arguments, std::string* errors = nullptr) {
    ChildProcess child(Program(), arguments);
    const std::optional<int> status = child.Wait(std::chrono::minutes(2));
    if (errors != nullptr) *errors = child.Errors();
    return status.value_or(-1);
  }

  std::filesystem::path folder_;
};

TEST_F(BatchProgramOnWindows, LooksUpThroughThePlatformsRequestAndWritesTheResultsForm) {
  WeightServiceOptions options;
  options.weights = {{"a.com", "4"}, {"b.com", "7"}};
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", "a.com\r\nb.com\r\n");
  std::string errors;
  ASSERT_EQ(
      Run({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1"}, &errors),
      0)
      << errors;
  EXPECT_EQ(ReadWholeFile(folder_ / "out.txt"), "a.com | 4\r\nb.com | 7\r\n");
  EXPECT_EQ(service.Counts(0).answered, 2);
}

TEST_F(BatchProgramOnWindows, StopsAtTheFirstRefusalSaysSoAndResumes) {
  WeightServiceOptions refusing;
  refusing.refuseAfter = 1;
  WeightServiceExits service(refusing, 1);
  const std::string input = Write("in.txt", "a.com\r\nb.com\r\nc.com\r\n");
  std::string errors;
  EXPECT_EQ(
      Run({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1"}, &errors),
      3);
  EXPECT_NE(errors.find("被限制了。。换IP吧"), std::string::npos) << errors;
  EXPECT_EQ(ReadWholeFile(folder_ / "out.txt"), "a.com | 3\r\nb.com | " + text::Gbk("被限制") + "\r\n");

  WeightServiceExits fresh(WeightServiceOptions{}, 1);
  EXPECT_EQ(
      Run({input, "-o", File("out.txt"), "--service", fresh.Origin(0), "--rate", "0", "--concurrency", "1"}, &errors),
      0)
      << errors;
  EXPECT_EQ(ReadWholeFile(folder_ / "out.txt"), "a.com | 3\r\nb.com | 3\r\nc.com | 3\r\n");
}

// The platform's request tells a refused connection and a missing interface
// apart from a refusal, each with its own exit status.
TEST_F(BatchProgramOnWindows, TellsAServiceOutOfReachAndAnInterfaceGoneFromARefusal) {
  // The service whose interface is gone listens first, so that the closed
  // port cannot become its.
  WeightServiceOptions gone;
  gone.legacy = tools::LegacyInterface::kGone;
  WeightServiceExits service(gone, 1);
  std::string nowhere;
  {
    WeightServiceExits closed(WeightServiceOptions{}, 1);
    nowhere = closed.Origin(0);
  }
  const std::string input = Write("in.txt", "a.com\r\nb.com\r\n");
  std::string errors;
  EXPECT_EQ(Run({input, "-o", File("out.txt"), "--service", nowhere, "--rate", "0", "--concurrency", "1", "--retries",
                 "1", "--retry-pause", "1ms"},
                &errors),
            5)
      << errors;
  EXPECT_NE(errors.find("无法连接到爱站：连不上服务器"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("换IP"), std::string::npos) << errors;

  EXPECT_EQ(Run({input, "-o", File("gone.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1"},
                &errors),
            6)
      << errors;
  EXPECT_NE(errors.find("爱站的旧查询接口已不再应答（HTTP 410）"), std::string::npos) << errors;
  EXPECT_EQ(service.RequestCount(0), 1u);
}

TEST_F(BatchProgramOnWindows, WritesCsvForExcelAndSaysItWritesNoWorkbook) {
  WeightServiceExits service(WeightServiceOptions{}, 1);
  const std::string input = Write("in.txt", "a.com\r\n");
  std::string errors;
  ASSERT_EQ(Run({input, "-o", File("out.csv"), "--format", "csv", "--service", service.Origin(0), "--source", "page",
                 "--rate", "0", "-q"},
                &errors),
            0)
      << errors;
  const std::string csv = ReadWholeFile(folder_ / "out.csv");
  EXPECT_EQ(csv.rfind("\xEF\xBB\xBF"
                      "domain,baidu_pc,",
                      0),
            0u)
      << csv;
  EXPECT_NE(csv.find("a.com,3,3,3,2,1,0,found,1,direct,"), std::string::npos) << csv;
  EXPECT_EQ(Run({input, "--xlsx", File("out.xlsx")}, &errors), 64);
  EXPECT_NE(errors.find("--format csv"), std::string::npos) << errors;
}

}  // namespace
}  // namespace rankora::cli
