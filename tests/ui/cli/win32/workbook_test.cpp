#include <gtest/gtest.h>

#include "forms_fixture.h"
#include "ui/cli/output_forms.h"

namespace rankora::cli {
namespace {

using WorkbookTest = FormsFolderTest;

TEST_F(WorkbookTest, ThisBuildHasNoWriterAndWritesNothing) {
  EXPECT_FALSE(CanWriteWorkbook());
  const std::filesystem::path path = folder_ / "out.xlsx";
  EXPECT_TRUE(WriteWorkbook(path, PageColumns(), {SampleRecord()}));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace rankora::cli
