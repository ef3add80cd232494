// The command-line verbs: --list, --list-long, --active and --activate.
#include "Helper/Helper4Ostrakel.h"
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "Library/Tools4Ostrakel.h"

namespace ostrakel {

namespace {

// The bridges, or none after logging why there are none. An error that comes
// with bridges is not worth a word.
BridgeArray bridgesOrLogError() {
  ErrorRef error;
  BridgeArray bridges = Tools4Ostrakel::getActualBridgesOrReturnError(&error);
  if (bridges.empty()) Logger4Ostrakel::logError(error);
  return bridges;
}

// One line a shell splits into exactly the two arguments --activate expects.
void writeNameSourceLine(const std::string& displayName, const FmtArg& source) {
  Logger4Ostrakel::writeOutWithFormat("\"%@\" \"%@\"\n", {displayName, source});
}

}  // namespace

void Helper4Ostrakel::list() {
  for (const BridgeRef& bridge : bridgesOrLogError())
    for (const ArchitectureRef& entry : bridge->architectures()) writeNameSourceLine(bridge->displayName(), entry->source());
}

void Helper4Ostrakel::listLong() {
  for (const BridgeRef& bridge : bridgesOrLogError())
    for (const ArchitectureRef& entry : bridge->architectures())
      Logger4Ostrakel::writeOutWithFormat("%@\n", {entry->longDescription()});
}

void Helper4Ostrakel::active() {
  for (const BridgeRef& bridge : bridgesOrLogError()) {
    if (!bridge->isActive()) continue;
    ArchitectureRef entry = bridge->activeArchitecture();
    writeNameSourceLine(bridge->displayName(), entry ? FmtArg(entry->source()) : FmtArg(nullptr));
  }
}

void Helper4Ostrakel::activateBridgeWithName(const std::string& name, const std::string& source) {
  ErrorRef error;
  Tools4Ostrakel::activateBridgeWithName(name, source, &error);
  if (error) Logger4Ostrakel::writeOutWithFormat("%@\n", {error});
}

}  // namespace ostrakel
