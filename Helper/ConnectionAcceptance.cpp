// The listener's delegate: accept every connection whose peer's executable
// can be named, and export the helper object on it.
#include <cerrno>

#include "Helper/Helper4Ostrakel.h"
#include "Helper/HelperProtocol4Ostrakel.h"
#include "Library/Common/Errors.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "platform/RefusalLog.h"
#include "platform/RemoteListener.h"
#include "platform/RemotePeer.h"

namespace ostrakel {

bool Helper4Ostrakel::shouldAcceptNewConnection(Connection& connection) {
  Logger4Ostrakel::logWithLevel(6, std::string("incoming connection..."));
  ErrorRef why;
  // The peer as captured at accept: a process that has exited (ESRCH) is
  // refused even if its pid already names another one.
  std::optional<std::string> path = remote::executablePathOfPeer(connection.peer(), &why);
  if (!path) {
    std::string summary;
    if (refusallog::admit(connection.peer().uid, summary)) {
      if (!summary.empty()) Logger4Ostrakel::logWithLevel(3, summary);
      // The log line gives the code with the program's own text for it.
      Logger4Ostrakel::logError(errorWithCode(kNSPOSIXErrorDomain, why ? why->code : ESRCH));
    }
    return false;
  }
  Logger4Ostrakel::logWithLevel(7, "remotePath:%@", {*path});
  // Every connection exports the one helper object; a helper that nobody
  // owns through a shared pointer lives at least as long as its listener.
  std::shared_ptr<Helper4Ostrakel> self = weak_from_this().lock();
  if (!self) self = std::shared_ptr<Helper4Ostrakel>(std::shared_ptr<void>(), this);
  connection.setExportedObject(std::make_shared<HelperProtocol4Ostrakel>(std::move(self)));
  connection.resume();
  return true;
}

}  // namespace ostrakel
