// The context of the active TeX: the texbin chain and every bridge's own
// texbin link. The chain is checked and repaired before the bridges.
#include "Library/Tools4Ostrakel.h"

namespace ostrakel {

bool Tools4Ostrakel::isContextOK() {
  // Reading every bridge is costly; a broken chain already answers.
  return are_texbins_OK() && areBridgesOK();
}

bool Tools4Ostrakel::fixContextOrReturnError(ErrorSlot slot) {
  ErrorRef pending;
  const bool texbinsFixed = fix_texbins_OrReturnError(&pending);
  // The bridges are repaired even when the chain could not be.
  const bool bridgesFixed = fixBridgesOrReturnError(slotIfEmpty(&pending));
  const bool fixed = texbinsFixed && bridgesFixed;
  // A repair may succeed and still leave an error behind (one the link
  // operation met on its way). A client takes any error as a failed request,
  // so such a leftover is passed on only when a repair really failed.
  if (!fixed) storeFirstError(slot, pending);
  return fixed;
}

}  // namespace ostrakel
