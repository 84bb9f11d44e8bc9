// The legacy source: the window's own lookup (the getbrinfo page with a time
// stamp, read through the extraction script), with its answer classified: a
// page without the weight image is the service refusing, as the window takes
// it; a weight image is a weight; a 404, a 410 or a redirect away from the
// getbrinfo page is the interface gone, which stops the run.
#pragma once

#include <string>
#include <vector>

#include "lookup/source.h"

namespace rankora::lookup {

class LegacySource : public Source {
 public:
  explicit LegacySource(SourceSettings settings) : settings_(std::move(settings)) {}

  std::vector<std::string> Columns() const override { return {"weight"}; }
  std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit& exit) override;

 private:
  LookupResult LookupOne(const std::string& domain, const Exit& exit) const;

  SourceSettings settings_;
};

}  // namespace rankora::lookup
