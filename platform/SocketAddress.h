// The address of a Unix-domain socket at a path of the host.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <string>

namespace ostrakel {

// Fills `address` for the socket at `hostPath`; false when the path does not
// fit (no such socket can exist).
inline bool unixSocketAddress(const std::string& hostPath, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (hostPath.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, hostPath.c_str(), hostPath.size() + 1);
  return true;
}

}  // namespace ostrakel
