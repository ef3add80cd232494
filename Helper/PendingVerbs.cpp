// Placeholder for the command-line verbs until the distribution model lands;
// the engineer who lands Helper/Verbs.cpp deletes this file.
#include "Helper/Helper4Ostrakel.h"

namespace ostrakel {

void Helper4Ostrakel::list() {}
void Helper4Ostrakel::listLong() {}
void Helper4Ostrakel::active() {}
void Helper4Ostrakel::activateBridgeWithName(const std::string&, const std::string&) {}

}  // namespace ostrakel
