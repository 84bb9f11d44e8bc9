#include <gtest/gtest.h>

#include "batch/forms.h"
#include "forms_fixture.h"

namespace rankora::batch {
namespace {

using WorkbookTest = FormsFolderTest;

TEST_F(WorkbookTest, ThisBuildHasNoWriterAndWritesNothing) {
  EXPECT_FALSE(CanWriteWorkbook());
  const std::filesystem::path path = folder_ / "out.xlsx";
  EXPECT_TRUE(WriteWorkbook(path, PageColumns(), {SampleRecord()}));
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace rankora::batch
