#include "platform/RemotePeer.h"

namespace ostrakel::remote {

namespace {
thread_local const PeerCredentials* tCurrentPeer = nullptr;
}

const PeerCredentials* currentPeer() { return tCurrentPeer; }

CurrentPeerScope::CurrentPeerScope(std::optional<PeerCredentials> peer)
    : peer_(std::move(peer)), previous_(tCurrentPeer) {
  tCurrentPeer = peer_ ? &*peer_ : nullptr;
}

CurrentPeerScope::~CurrentPeerScope() { tCurrentPeer = previous_; }

}  // namespace ostrakel::remote

#include <unistd.h>

#include <cerrno>

namespace ostrakel::remote {

std::optional<std::string> executablePathOfProcess(pid_t pid, int& errorNumber) {
  char buffer[4096];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t length = pid > 0 ? ::readlink(link.c_str(), buffer, sizeof buffer) : -1;
  if (pid <= 0) errno = ESRCH;
  if (length <= 0) {
    errorNumber = errno;
    return std::nullopt;
  }
  if (static_cast<size_t>(length) >= sizeof buffer) {
    errorNumber = ENAMETOOLONG;
    return std::nullopt;
  }
  errorNumber = 0;
  return std::string(buffer, static_cast<size_t>(length));
}

}  // namespace ostrakel::remote
