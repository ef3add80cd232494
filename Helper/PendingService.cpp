// Placeholder for the helper object's service side until the listener lands;
// the engineer who lands the listener deletes this file.
#include "Helper/Helper4Ostrakel.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/MainQueue.h"

namespace ostrakel {

std::shared_ptr<Helper4Ostrakel> Helper4Ostrakel::init() {
  auto helper = std::make_shared<Helper4Ostrakel>();
  Logger4Ostrakel::logWithLevel(6, std::string("Setting up the listener"));
  return helper;
}

void Helper4Ostrakel::run() { mainqueue::runForever(); }

}  // namespace ostrakel
