// The process at the other end of a connection, and the peer of the request
// that the calling thread is serving right now.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrakel::remote {

struct PeerCredentials {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups at connect time
};

// The credentials of the peer whose request this thread is serving, or
// nullptr outside a request (command line, tests).
const PeerCredentials* currentPeer();

// Makes `peer` the current peer of this thread for the scope's lifetime.
// Deferred work captures the peer and opens its own scope where it runs.
class CurrentPeerScope {
public:
  explicit CurrentPeerScope(std::optional<PeerCredentials> peer);
  ~CurrentPeerScope();
  CurrentPeerScope(const CurrentPeerScope&) = delete;
  CurrentPeerScope& operator=(const CurrentPeerScope&) = delete;

private:
  std::optional<PeerCredentials> peer_;
  const PeerCredentials* previous_;
};

}  // namespace ostrakel::remote

namespace ostrakel::remote {

// The executable of a running process (/proc/PID/exe), at most 4096 bytes;
// none on failure, with the system error number in `errorNumber`.
std::optional<std::string> executablePathOfProcess(pid_t pid, int& errorNumber);

}  // namespace ostrakel::remote
