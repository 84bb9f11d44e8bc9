// A proxy list as a long run reads it: one "http://[user:password@]host:port"
// a line (see ParseProxy), blanks at either end of a line ignored, empty
// lines and lines starting with "#" skipped. Read from the file's bytes; the
// caller reads the file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lookup/source.h"

namespace rankora::lookup {

// The exits of a list, or why the list is none: the first line that is no
// proxy address, or a list without a single proxy.
struct ProxyList {
  std::vector<Exit> exits;  // in list order; empty when there is a problem
  // 0: no problem. Otherwise the 1-based number of the first line that is
  // no proxy, with that line (without its blanks) in `badLine`; or -1 when
  // no line is a proxy (an empty list, only comments).
  long problemLine = 0;
  std::string badLine;

  bool Ok() const { return problemLine == 0; }
  bool Empty() const { return problemLine < 0; }
};

ProxyList ReadProxyList(std::string_view bytes);

}  // namespace rankora::lookup
