// The process at the other end of a connection, and the peer of the request
// that the calling thread is serving right now.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/UniqueFd.h"

namespace ostrakel::remote {

// A descriptor that stays with the peer process itself, not with its number
// (a pidfd). Closed when the last copy of the peer's credentials goes.
class ProcessHandle {
public:
  explicit ProcessHandle(int fd) : fd_(fd) {}
  int fd() const { return fd_.get(); }
  // Whether the process is still running (not exited, not reaped).
  bool alive() const;

private:
  UniqueFd fd_;
};

struct PeerCredentials {
  pid_t pid = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups at connect time
  // The process start time (clock ticks after boot) read when the connection
  // was accepted; with the pid it names the one process, even after the pid
  // is reused. None when the peer was gone before it could be read.
  std::optional<uint64_t> startTime;
  // The peer process itself, where the kernel hands one out (SO_PEERPIDFD).
  std::shared_ptr<const ProcessHandle> process;
};

// The credentials of the peer of the connected stream socket `fd`, with the
// identity of its process captured now; none without peer credentials.
std::optional<PeerCredentials> capturePeer(int fd);

// Whether the process captured in `peer` is still the one running under its
// pid (same start time, not exited).
bool peerProcessAlive(const PeerCredentials& peer);

// The credentials of the peer whose request this thread is serving, or
// nullptr outside a request (command line, tests).
const PeerCredentials* currentPeer();

// The user on whose behalf the calling thread works: the current peer's, or
// the process's own outside a request.
uid_t currentCallerUid();

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

// The start time of a running process (clock ticks after boot, field 22 of
// /proc/PID/stat); none when it does not exist or has exited (a zombie).
std::optional<uint64_t> processStartTime(pid_t pid);

// The executable of a running process (/proc/PID/exe), at most 4096 bytes;
// none on failure, with the system error in `slot` (ESRCH for a process that
// does not exist or has exited).
std::optional<std::string> executablePathOfProcess(pid_t pid, ErrorSlot slot);
// The same for a connection's peer: ESRCH when the captured process has gone,
// even if its pid now names another one.
std::optional<std::string> executablePathOfPeer(const PeerCredentials& peer, ErrorSlot slot);

}  // namespace ostrakel::remote
