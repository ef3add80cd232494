// `ostrakel list`: every distribution discovery finds, numbered in its order.
#include <iostream>

#include "Client/ostrakel/Catalog.h"
#include "Client/ostrakel/Json.h"
#include "platform/Path.h"

namespace ostrakel::cli {

namespace {

void printJson(const BridgeArray& bridges) {
  std::cout << "[";
  for (size_t i = 0; i < bridges.size(); ++i) {
    const BridgeRef& bridge = bridges[i];
    ArchitectureRef active = bridge->activeArchitecture();
    std::cout << (i ? ",\n " : "\n ") << "{\"number\": " << i + 1 << ", \"name\": " << jsonString(bridge->displayName())
              << ", \"path\": " << jsonString(bridge->fileURL().path)
              << ", \"active\": " << (bridge->isActive() ? "true" : "false") << ", \"architectures\": [";
    const ArchitectureArray entries = bridge->architectures();
    for (size_t k = 0; k < entries.size(); ++k) std::cout << (k ? ", " : "") << jsonString(entries[k]->source());
    std::cout << "], \"activeArchitecture\": " << (active ? jsonString(active->source()) : std::string("null")) << "}";
  }
  std::cout << (bridges.empty() ? "]\n" : "\n]\n");
}

void printText(const BridgeArray& bridges) {
  for (size_t i = 0; i < bridges.size(); ++i) {
    const BridgeRef& bridge = bridges[i];
    ArchitectureRef active = bridge->activeArchitecture();
    std::string sets;
    for (const ArchitectureRef& entry : bridge->architectures()) {
      if (!sets.empty()) sets += " ";
      sets += printable(entry->source());
      if (active && entry == active) sets += "*";
    }
    std::cout << (bridge->isActive() ? "* " : "  ") << i + 1 << "  " << printable(bridge->displayName()) << "  ["
              << sets << "]\n"
              << "     " << printable(bridge->fileURL().path) << "\n";
  }
}

}  // namespace

int runList(Context&, const Arguments& arguments) {
  ParsedArguments parsed = parseArguments("list", arguments, {"--json"}, {}, 0, 0);
  BridgeArray bridges = readCatalog();
  if (parsed.has("--json")) {
    printJson(bridges);
  } else if (bridges.empty()) {
    std::cerr << "ostrakel: no TeX distribution found in " << path::standardize(Tools4Ostrakel::LTD_Path())
              << "; wrap an installed TeX with \"ostrakel add DIR\".\n";
  } else {
    printText(bridges);
  }
  return kSuccess;
}

}  // namespace ostrakel::cli
