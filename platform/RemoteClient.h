// The client side of the remote interface: connect to the service socket and
// ask one request.
#pragma once

#include <optional>
#include <string>

#include "platform/RemoteWire.h"

namespace ostrakel::remote {

// A connected stream socket to the Unix socket at the host path `hostPath`,
// owned by the caller; -1 on failure, with the reason in `why` and errno set.
int connectToSocket(const std::string& hostPath, std::string& why);

// Sends `request` and waits for the reply with the same id (replies to other
// ids are skipped). None, with the reason in `why`, when the service closed
// the connection or answered something unreadable.
std::optional<Reply> ask(int fd, const Request& request, std::string& why);

}  // namespace ostrakel::remote
