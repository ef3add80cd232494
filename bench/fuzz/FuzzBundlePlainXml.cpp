// Fuzzes the reading of plain XML property lists (Info.plist as bundles carry
// it) without the property-list library: whatever that reading accepts must
// be exactly what the library reads from the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/PlainXmlPropertyList.h"
#include "platform/PropertyList.h"

using namespace ostrakel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::optional<PlistRef> mine = plist::readPlainXML(text);
  if (!mine) return 0;
  // A comment makes the same list one that only the library reads.
  const size_t end = text.rfind("</plist>");
  if (!*mine || end == std::string::npos) {
    std::fprintf(stderr, "broken promise: a plain reading without a value or an end tag\n");
    std::abort();
  }
  text.insert(end, "<!-- -->");
  PlistRef theirs = plist::parse(text);
  if (!theirs || !(**mine == *theirs)) {
    std::fprintf(stderr, "broken promise: the plain reading differs from the library's\n");
    std::abort();
  }
  return 0;
}
