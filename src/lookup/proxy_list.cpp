#include "lookup/proxy_list.h"

#include <optional>

namespace rankora::lookup {

ProxyList ReadProxyList(std::string_view bytes) {
  ProxyList list;
  long number = 0;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    ++number;
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    const std::optional<Exit> exit = ParseProxy(std::string(line));
    if (!exit) {
      return ProxyList{{}, number, std::string(line)};
    }
    list.exits.push_back(*exit);
  }
  if (list.exits.empty()) list.problemLine = -1;
  return list;
}

}  // namespace rankora::lookup
