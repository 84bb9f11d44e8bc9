// The list of domains a long run asks for, read from a file's bytes by the
// window's own line rules: CR LF, LF or CR alone end a line, the domain is
// the text before the first " | " (so a results file is valid input), empty
// lines are skipped. The bytes may be UTF-8 (with or without a byte-order
// mark) or GBK, which is told from the bytes themselves, or UTF-16 with its
// byte-order mark (little or big endian).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rankora::batch {

struct InputOptions {
  bool unique = false;  // keep only the first of equal domains
  bool clean = false;   // strip a scheme, a path, a port and blanks, lower-case ASCII
};
// A line of blanks only counts as empty. Without clean the text before the
// bar is taken as it is; with it, CleanDomain's. Either way a line whose
// domain is no domain (IsDomain) is reported as a problem and skipped.

struct InputProblem {
  long line = 0;     // 1-based line number
  std::string text;  // the line as read, UTF-8
};

struct Input {
  std::vector<std::string> domains;    // GBK, in input order
  std::vector<InputProblem> problems;  // lines that are no domain (after cleaning, with clean)
  bool wasUtf8 = false;
  bool wasUtf16 = false;
};

Input ReadInput(std::string_view bytes, const InputOptions& options);

// "http://WWW.Example.com:8080/a/b?c" -> "www.example.com" (GBK in and out):
// without the scheme, user information, path, query, fragment and port, the
// blanks (spaces, tabs, full-width spaces) at either end and one trailing
// dot, ASCII letters in lower case. Blanks inside are left, so that a line
// such as "www. baidu.com" is reported rather than silently joined.
std::string CleanDomain(std::string_view domain);
// True for a host name: dot-separated labels of letters, digits and hyphens
// (or non-ASCII characters, for Chinese domains), at least two labels, none
// empty, none longer than 63 bytes, and no more than 253 bytes in all. GBK's
// rows of punctuation and symbols (full-width spaces, the ideographic full
// stop, full-width forms) and bytes that are no GBK character are no part of
// a name.
bool IsDomain(std::string_view domain);

}  // namespace rankora::batch
