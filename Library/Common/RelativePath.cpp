// Writing one path relative to a base folder: the text of the .DefaultTeX
// link is the active bridge's Contents folder seen from .DefaultTeX.
#include <vector>

#include "Library/Common/LayoutPaths.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

namespace {

std::string standardized(const std::string& p) {
  // Only a leading "~" needs the home folder; other paths never ask for it.
  if (!p.empty() && p[0] == '~') return path::standardize(p, processinfo::homeDirectory());
  return path::standardize(p);
}

}  // namespace

std::string pathRelativeToBase4Ostrakel(const std::string& s, const std::string& base) {
  const std::vector<std::string> p = path::components(standardized(s));
  const std::vector<std::string> b = path::components(standardized(base));

  // The common leading components, compared exactly (case matters).
  size_t i = 0;
  while (!p.empty() && i < b.size() && i < p.size() && p[i] == b[i]) ++i;

  std::vector<std::string> r;
  for (size_t j = i; j < b.size(); ++j) r.push_back("..");
  for (size_t j = i; j < p.size(); ++j) r.push_back(p[j]);
  return r.empty() ? "." : path::fromComponents(r);
}

}  // namespace ostrakel
