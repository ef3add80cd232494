// The helper object's life: its listener, and the event loop of the service.
#include "Helper/Helper4Ostrakel.h"

#include <cstdlib>

#include "Library/Common/Logger4Ostrakel.h"
#include "platform/MainQueue.h"
#include "platform/RemoteListener.h"
#include "platform/SystemLog.h"

namespace ostrakel {

std::shared_ptr<Helper4Ostrakel> Helper4Ostrakel::init() {
  auto helper = std::make_shared<Helper4Ostrakel>();
  Logger4Ostrakel::logWithLevel(6, std::string("Setting up the listener"));
  auto listener = std::make_shared<Listener>(kServiceName);
  // The listener does not own its delegate: the helper owns the listener and
  // outlives it.
  Helper4Ostrakel* delegate = helper.get();
  listener->setDelegate([delegate](Connection& connection) {
    return delegate->shouldAcceptNewConnection(connection);
  });
  helper->setListener(std::move(listener));
  return helper;
}

void Helper4Ostrakel::run() {
  std::shared_ptr<Listener> current = listener();
  if (!current || !current->resume()) {
    // A service that cannot listen can serve no one: say so and let the
    // service manager see the failure instead of idling forever.
    systemlog::diagnosticLog(std::string(kServiceName) + ": the service socket is not available; stopping");
    std::exit(EXIT_FAILURE);
  }
  mainqueue::runForever();
}

std::shared_ptr<Listener> Helper4Ostrakel::listener() const {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  return listener_;
}

void Helper4Ostrakel::setListener(std::shared_ptr<Listener> listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listener_ = std::move(listener);
}

}  // namespace ostrakel
