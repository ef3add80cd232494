#include "Client/ostrakel/Catalog.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

#include "Library/Common/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/SystemRoot.h"

namespace ostrakel::cli {

namespace {

bool allDigits(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// Reads the bundle at `path` as this user; says why not when it cannot.
BridgeRef readBundle(const std::string& path) {
  FileSystem& fm = fileManager();
  bool isDirectory = false;
  if (!fm.fileExists(path, &isDirectory) || !isDirectory)
    throw WorkFailed{"There is no distribution bundle at " + printable(path) +
                     "; \"ostrakel list\" shows the distributions and their paths."};
  if (path::extension(path) != Tools4Ostrakel::velmarExtension())
    throw WorkFailed{printable(path) + " is not a distribution bundle: its name must end in \".velmar\"."};
  ErrorRef listing;
  if (!fm.contentsOfDirectory(path::appendComponent(path, "Contents/Programs"), &listing)) {
    std::string reason = listing && listing->userInfo.localizedDescription ? *listing->userInfo.localizedDescription
                                                                           : "it cannot be read";
    throw WorkFailed{"The distribution at " + printable(path) + " cannot be read (" + printable(reason) +
                         "); check that it has a readable Contents/Programs folder.",
                     {}};
  }
  ErrorRef error;
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, &error);
  if (!bridge)
    throw WorkFailed{"The distribution at " + printable(path) +
                     " offers no binary set this machine can run, so it cannot be made active."};
  return bridge;
}

}  // namespace

BridgeArray readCatalog() { return Tools4Ostrakel::getActualBridgesOrReturnError(nullptr); }

std::string pathInsideRoot(const std::string& given, const std::string& command) {
  if (given.empty()) throw UsageError{"an empty path names nothing.", command};
  if (path::isAbsolute(given)) return path::standardize(given);
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) throw UsageError{"the working folder cannot be read.", command};
  std::string inside;
  if (!systemroot::fromHost(path::standardize(path::appendComponent(buffer, given)), &inside))
    throw UsageError{
        "the relative path " + printable(given) + " lies outside the system root; give an absolute path inside it.",
        command};
  return inside;
}

BridgeRef chooseDistribution(const BridgeArray& bridges, const std::string& which, const std::string& source,
                             const std::string& command) {
  if (which.find('/') != std::string::npos) return readBundle(pathInsideRoot(which, command));
  BridgeRef named;
  for (const BridgeRef& bridge : bridges) {
    if (bridge->displayName() != which) continue;
    if (source.empty() || bridge->architectureWithSource(source)) return bridge;
    if (!named) named = bridge;
  }
  if (named) return named;  // the caller says which set is missing
  if (allDigits(which)) {
    const size_t number = std::stoul(which);
    if (number >= 1 && number <= bridges.size()) return bridges[number - 1];
    throw WorkFailed{"There is no distribution number " + which + "; " +
                     (bridges.empty() ? std::string("none is installed")
                                      : "they are numbered 1 to " + std::to_string(bridges.size())) +
                     " (see \"ostrakel list\")."};
  }
  throw WorkFailed{"There is no distribution named " + quoted(which) +
                   "; \"ostrakel list\" shows the names, numbers and paths you can use."};
}

std::string setList(const BridgeRef& bridge) {
  std::string list;
  for (const ArchitectureRef& entry : bridge->architectures()) {
    if (!list.empty()) list += ", ";
    list += printable(entry->source());
  }
  return list;
}

std::string quoted(const std::string& name) { return "\"" + printable(name) + "\""; }

}  // namespace ostrakel::cli
