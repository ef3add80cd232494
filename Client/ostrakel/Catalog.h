// The distributions as discovery finds them, read as the calling user, and
// the choice of one by name, number or path.
#pragma once

#include <string>

#include "Client/ostrakel/Command.h"
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Tools4Ostrakel.h"

namespace ostrakel::cli {

// Every distribution, in discovery's order.
BridgeArray readCatalog();

// A path the user typed (absolute inside the root, or relative to the
// working folder) as a path inside the root. Throws UsageError when it lies
// outside the root.
std::string pathInsideRoot(const std::string& given, const std::string& command);

// The distribution NAME (display name, exactly), NUMBER (as `list` numbers
// them) or PATH (a bundle, which need not be listed). With `source` given,
// of several distributions of that name the first that offers it. Throws
// WorkFailed, before anything is asked of the service, when there is none.
BridgeRef chooseDistribution(const BridgeArray& bridges, const std::string& which, const std::string& source,
                             const std::string& command);

// The binary sets of a distribution, in its order ("x86_64, i386").
std::string setList(const BridgeRef& bridge);

// A distribution named for a sentence: its display name in quotes.
std::string quoted(const std::string& name);

}  // namespace ostrakel::cli
