#include <stdlib.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "batch/forms.h"
#include "batch/record_cells.h"
#include "files/whole_file.h"
#include "text/charset.h"

namespace rankora::batch {
namespace {

class XlsxWriterCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "xlsxwriter"; }
  std::string message(int code) const override { return lxw_strerror(static_cast<lxw_error>(code)); }
};

std::error_code XlsxError(lxw_error error) {
  static const XlsxWriterCategory category;
  return {static_cast<int>(error), category};
}

// The one owner of a workbook being written: closed (and so freed) once.
class Workbook {
 public:
  Workbook(const std::string& path, lxw_workbook_options& options)
      : workbook_(workbook_new_opt(path.c_str(), &options)) {}
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;
  ~Workbook() {
    if (workbook_ != nullptr) workbook_close(workbook_);
  }
  lxw_workbook* Get() const { return workbook_; }
  lxw_error Close() { return workbook_close(std::exchange(workbook_, nullptr)); }

 private:
  lxw_workbook* workbook_;
};

// A temporary file of this process's own, removed when this ends.
class TemporaryFile {
 public:
  TemporaryFile() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "rankora-workbook-XXXXXX").string();
    if (error) pattern = "/tmp/rankora-workbook-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return;
    ::close(fd);
    path_ = pattern;
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// How wide a cell's text shows: a character outside ASCII (hanzi, mostly)
// takes two places.
double Width(std::string_view utf8) {
  double width = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      width += 1;
    } else if (byte >= 0xC0) {
      width += 2;
    }
  }
  return width;
}

// Excel takes nothing but UTF-8; stray bytes would make the file unreadable.
std::string Readable(std::string cell) {
  if (!text::IsUtf8(cell)) {
    std::replace_if(
        cell.begin(), cell.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }, '?');
  }
  return cell;
}

constexpr double kNarrowest = 6;
constexpr double kWidest = 60;
// Weights beyond this many digits would lose digits as a double: they stay
// text.
constexpr std::size_t kLongestNumber = 15;

}  // namespace

bool CanWriteWorkbook() { return true; }

std::error_code WriteWorkbook(const std::filesystem::path& path, const std::vector<std::string>& columns,
                              const std::vector<Record>& records) {
  if (records.size() >= LXW_ROW_MAX) return std::make_error_code(std::errc::file_too_large);
  const std::vector<std::string> header = HeaderCells(columns);
  const std::size_t attemptsCell = kFirstValueCell + columns.size() + 1;

  // The widths are set before the rows go out: the constant-memory writer
  // streams each row to its file as it is written.
  std::vector<double> widths(header.size(), kNarrowest);
  for (std::size_t i = 0; i < header.size(); ++i) widths[i] = std::max(widths[i], Width(header[i]));
  for (const Record& record : records) {
    const std::vector<std::string> cells = RecordCells(record, columns);
    for (std::size_t i = 0; i < cells.size(); ++i) widths[i] = std::max(widths[i], Width(cells[i]));
  }

  // Written to a file of its own first, then put in place whole, so a
  // failure leaves the old file as it was.
  const TemporaryFile temporary;
  if (temporary.Path().empty()) return {errno, std::generic_category()};
  {
    std::string folder = std::filesystem::path(temporary.Path()).parent_path().string();
    lxw_workbook_options options{.constant_memory = LXW_TRUE, .tmpdir = folder.data(), .use_zip64 = LXW_TRUE};
    Workbook workbook(temporary.Path(), options);
    if (workbook.Get() == nullptr) return XlsxError(LXW_ERROR_CREATING_XLSX_FILE);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook.Get(), nullptr);
    lxw_format* bold = workbook_add_format(workbook.Get());
    if (sheet == nullptr || bold == nullptr) return XlsxError(LXW_ERROR_MEMORY_MALLOC_FAILED);
    format_set_bold(bold);

    for (std::size_t i = 0; i < header.size(); ++i) {
      const auto column = static_cast<lxw_col_t>(i);
      if (const lxw_error error =
              worksheet_set_column(sheet, column, column, std::min(widths[i], kWidest) + 2, nullptr)) {
        return XlsxError(error);
      }
      if (const lxw_error error = worksheet_write_string(sheet, 0, column, header[i].c_str(), bold)) {
        return XlsxError(error);
      }
    }
    lxw_row_t row = 0;
    for (const Record& record : records) {
      ++row;
      const std::vector<std::string> cells = RecordCells(record, columns);
      for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].empty()) continue;
        const auto column = static_cast<lxw_col_t>(i);
        const bool numeric = (i >= kFirstValueCell && i < kFirstValueCell + columns.size()) || i == attemptsCell;
        lxw_error error = LXW_NO_ERROR;
        if (numeric && IsInteger(cells[i]) && cells[i].size() <= kLongestNumber) {
          error = worksheet_write_number(sheet, row, column, std::stod(cells[i]), nullptr);
        } else {
          error = worksheet_write_string(sheet, row, column, Readable(cells[i]).c_str(), nullptr);
        }
        if (error != LXW_NO_ERROR) return XlsxError(error);
      }
    }
    if (const lxw_error error = workbook.Close()) return XlsxError(error);
  }

  std::ifstream in(temporary.Path(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in || !bytes) return std::make_error_code(std::errc::io_error);
  return files::WriteWholeFile(path, bytes.view());
}

}  // namespace rankora::batch
