// Stand-in for the context check until the full one (texbin chain, reset
// state and bridges) lands; answers from the bridges on disk.
#include "Library/Tools4Ostrakel.h"

namespace ostrakel {

bool Tools4Ostrakel::isContextOK() { return areBridgesOK(); }

}  // namespace ostrakel
