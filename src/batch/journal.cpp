#include "batch/journal.h"

#include <string_view>
#include <utility>

#include "files/whole_file.h"
#include "text/charset.h"
#include "text/gbk.h"

namespace rankora::batch {
namespace {

// What an existing file holds for a form, or why it is not the form's file.
struct Contents {
  std::vector<Record> done;
  std::string kept;  // the preamble and the lines of `done`, each with its line end
  std::string problem;
};

Contents ReadBack(std::string_view bytes, const RecordFormat& format, const Journal::RestoredHandler& onRestored) {
  Contents contents;
  const std::string preamble = format.Preamble();
  contents.kept = preamble;
  if (bytes.starts_with(preamble)) {
    bytes.remove_prefix(preamble.size());
  } else if (std::string_view(preamble).starts_with(bytes)) {
    // Only part of the preamble: the file was cut before any record.
    return contents;
  } else {
    contents.problem = "文件的开头不是这种格式的";
    return contents;
  }

  const std::string lineEnd = format.LineEnd();
  long number = 0;
  for (std::size_t at = preamble.find(lineEnd); at != std::string::npos; at = preamble.find(lineEnd, at + 1)) {
    ++number;
  }
  for (;;) {
    const std::size_t end = bytes.find(lineEnd);
    if (end == std::string_view::npos) {
      // A last line without its line end was being written when the run
      // ended: the rerun asks for its domain again. No form writes a line
      // break inside a line, so a rest that holds one is lines of another
      // form (with other line ends), not one cut line.
      std::string_view rest = bytes;
      for (std::size_t begun = lineEnd.size() - 1; begun > 0; --begun) {
        if (rest.ends_with(std::string_view(lineEnd).substr(0, begun))) {
          rest.remove_suffix(begun);
          break;
        }
      }
      if (rest.find_first_of("\r\n") != std::string_view::npos) {
        contents.problem = "第 " + std::to_string(number) + " 行之后的换行方式与这种格式的不同";
      }
      break;
    }
    const std::string line(bytes.substr(0, end));
    bytes.remove_prefix(end + lineEnd.size());
    ++number;
    if (line.empty()) continue;
    std::optional<Record> record = format.Parse(line);
    if (!record) {
      contents.problem = "第 " + std::to_string(number) + " 行不是这种格式的记录";
      return contents;
    }
    if (!record->Done()) continue;
    contents.kept += line;
    contents.kept += lineEnd;
    if (onRestored) {
      onRestored(std::move(*record));
    } else {
      contents.done.push_back(std::move(*record));
    }
  }
  return contents;
}

// A GBK form's file as GBK: an editor may have saved it again as UTF-8 (with
// a byte-order mark or without), which would make its statuses unreadable
// and put the mark before the first domain. Which one it is, is told from
// the bytes, as the input's character set is. The file is then rewritten in
// GBK, as every rewrite on opening is whole.
std::string AsGbk(std::string bytes) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  const bool marked = std::string_view(bytes).starts_with(kByteOrderMark);
  const std::string_view text = std::string_view(bytes).substr(marked ? kByteOrderMark.size() : 0);
  if (marked || text::LooksLikeUtf8(text)) return text::Gbk(text);
  return bytes;
}

}  // namespace

Journal::Journal(const RecordFormat& format, files::AppendFile file) : format_(format), file_(std::move(file)) {}

Journal::~Journal() = default;

Journal::Opened Journal::Open(const std::filesystem::path& path, const RecordFormat& format,
                              const RestoredHandler& onRestored) {
  Opened opened;
  std::error_code status;
  const std::filesystem::file_status type = std::filesystem::status(path, status);
  const bool exists = std::filesystem::exists(type);
  if (status && exists) {
    opened.error = status;
    return opened;
  }
  // A device or a pipe has nothing to read back (reading some of them never
  // ends) and cannot be rewritten: it takes the lines as standard output
  // does.
  if (exists && !std::filesystem::is_regular_file(type) && !std::filesystem::is_directory(type)) {
    files::AppendFile::Opened file = files::AppendFile::Open(path);
    if (file.error) {
      opened.error = file.error;
      return opened;
    }
    opened.journal.reset(new Journal(format, std::move(file.file)));
    opened.journal->WritePreamble();
    return opened;
  }

  Contents contents{.done = {}, .kept = format.Preamble(), .problem = {}};
  files::ReadResult read;
  if (exists) {
    read = files::ReadWholeFile(path);
    if (read.error) {
      opened.error = read.error;
      return opened;
    }
    if (format.InGbk()) read.bytes = AsGbk(std::move(read.bytes));
    contents = ReadBack(read.bytes, format, onRestored);
    if (!contents.problem.empty()) {
      opened.error = std::make_error_code(std::errc::invalid_argument);
      opened.problem = contents.problem + "：这个文件是别的格式或别的程序写的，没有改动它";
      return opened;
    }
  }
  // A file that already holds exactly what it should is not replaced.
  if (!exists || contents.kept != read.bytes) {
    if (const std::error_code written = files::WriteWholeFile(path, contents.kept)) {
      opened.error = written;
      return opened;
    }
  }

  files::AppendFile::Opened file = files::AppendFile::Open(path);
  if (file.error) {
    opened.error = file.error;
    return opened;
  }
  opened.journal.reset(new Journal(format, std::move(file.file)));
  opened.journal->restored_ = std::move(contents.done);
  return opened;
}

std::unique_ptr<Journal> Journal::OnStandardOutput(const RecordFormat& format) {
  std::unique_ptr<Journal> journal(new Journal(format, files::AppendFile::StandardOutput()));
  journal->WritePreamble();
  return journal;
}

void Journal::WritePreamble() {
  // The header goes first, as in a file, so that the output is a whole file
  // of its form.
  const std::string preamble = format_.Preamble();
  if (!preamble.empty()) failed_ = static_cast<bool>(file_.Write(preamble));
}

bool Journal::Append(const Record& record) {
  const std::string line = format_.Line(record);
  const std::lock_guard lock(mutex_);
  if (failed_) return false;
  failed_ = static_cast<bool>(file_.Write(line));
  return !failed_;
}

}  // namespace rankora::batch
