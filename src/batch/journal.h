// The output of a long run, which is also its journal. Each finished record is
// appended as one line and flushed before the next, so a run killed at any
// moment leaves every finished domain in the file and at most one cut last
// line. Opening an existing output reads back what it holds: a cut last line
// is dropped, records that are done are kept and skipped by the rerun, and
// records that failed or were refused are dropped so that the rerun writes
// them once more; the file is rewritten to that state whole-or-nothing before
// anything is appended.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "batch/record.h"
#include "files/append_file.h"

namespace rankora::batch {

// How records become lines of a file and back: one per output form.
class RecordFormat {
 public:
  virtual ~RecordFormat() = default;
  // What the file starts with (a byte-order mark, a header line), possibly
  // empty.
  virtual std::string Preamble() const = 0;
  // One record as one whole line, its line end included.
  virtual std::string Line(const Record& record) const = 0;
  // A line read back (without its line end), or nothing when it is not a
  // record of this form. `columns` are the source's value columns.
  virtual std::optional<Record> Parse(const std::string& line) const = 0;
  // The line end the form writes: "\r\n" or "\n".
  virtual std::string LineEnd() const = 0;
  // True for a form written in GBK (the window's results form). Such a file
  // saved again as UTF-8 by an editor, with or without a byte-order mark, is
  // read back as the GBK it was.
  virtual bool InGbk() const { return false; }
};

class Journal {
 public:
  struct Opened;
  // Opens (creating) `path` for `format`. Reads back an existing file as
  // described above into Restored(). Gives no journal, and why, when the
  // file cannot be read or written, or holds lines that are not records of
  // this form (another form's file, say), which it leaves untouched; the
  // problem then says which line, in words (UTF-8). Empty lines are passed
  // over. A path that names a device or a pipe is written to as standard
  // output is.
  // With `onRestored`, each done record read back is handed to it as it is
  // read instead of being kept in Restored(), so a file of a million lines
  // is never held as records.
  using RestoredHandler = std::function<void(Record&&)>;
  static Opened Open(const std::filesystem::path& path, const RecordFormat& format,
                     const RestoredHandler& onRestored = {});
  // A journal on standard output: the form's preamble first, nothing
  // restored, each line flushed.
  static std::unique_ptr<Journal> OnStandardOutput(const RecordFormat& format);

  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  ~Journal();

  // The done records the file held when opened, in file order.
  const std::vector<Record>& Restored() const { return restored_; }
  // Appends and flushes one record (thread-safe, one write per line).
  // False when the write failed. After a failed write every later append
  // fails too, so that a line cut by it stays the last line of the file,
  // which the next Open repairs, instead of ending up between whole ones.
  bool Append(const Record& record);

 private:
  Journal(const RecordFormat& format, files::AppendFile file);
  // For a journal that starts empty and is not a file of its own.
  void WritePreamble();
  const RecordFormat& format_;
  files::AppendFile file_;
  std::mutex mutex_;
  std::vector<Record> restored_;
  bool failed_ = false;  // a write failed; guarded by mutex_
};

// An opened journal, or none and why: the file's error and, for a file that
// is not of the form, the problem in words (UTF-8).
struct Journal::Opened {
  std::unique_ptr<Journal> journal;
  std::error_code error;
  std::string problem;
};

}  // namespace rankora::batch
