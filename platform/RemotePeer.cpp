#include "platform/RemotePeer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace ostrakel::remote {

namespace {
thread_local const PeerCredentials* tCurrentPeer = nullptr;

std::vector<gid_t> peerGroups(int fd) {
  std::vector<gid_t> groups(64);
  for (int attempt = 0; attempt < 4; ++attempt) {
    socklen_t length = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) == 0) {
      groups.resize(length / sizeof(gid_t));
      return groups;
    }
    if (errno != ERANGE) break;
    // The kernel reports the size it needs.
    groups.resize(length / sizeof(gid_t) + 1);
  }
  return {};  // unknown: the peer then counts with its primary group only
}

}  // namespace

bool ProcessHandle::alive() const {
  // EPERM still says the process exists: the service, confined without
  // CAP_KILL, may not signal another user's process, but the kernel checks
  // that it lives first.
  return ::syscall(SYS_pidfd_send_signal, fd_.get(), 0, nullptr, 0) == 0 || errno == EPERM;
}

std::optional<uint64_t> processStartTime(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  // Read with plain calls: the process may exit meanwhile, and a stream's
  // reading error (ESRCH) would be thrown out of the iterator.
  const std::string name = "/proc/" + std::to_string(pid) + "/stat";
  UniqueFd file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.ok()) return std::nullopt;
  std::string text;
  char buffer[1024];
  while (true) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0 || text.size() > 64 * 1024) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  // The command name may hold spaces and parentheses: fields start after the last ')'.
  size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  // Field 3 (the state) is the first after the name; field 22 is the 20th.
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return std::nullopt;
    if (index == 3 && (field == "Z" || field == "X")) return std::nullopt;  // exited
  }
  try {
    return std::stoull(field);
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<PeerCredentials> capturePeer(int fd) {
  struct ucred credentials {};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.pid <= 0)
    return std::nullopt;
  PeerCredentials peer;
  peer.pid = credentials.pid;
  peer.uid = credentials.uid;
  peer.gid = credentials.gid;
  peer.groups = peerGroups(fd);
  int pidfd = -1;
  socklen_t pidfdLength = sizeof pidfd;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &pidfdLength) == 0 && pidfd >= 0) {
    peer.process = std::make_shared<const ProcessHandle>(pidfd);
    // The start time read while the process is known to be alive is its own,
    // not that of a later holder of the pid.
    std::optional<uint64_t> start = processStartTime(peer.pid);
    if (start && peer.process->alive()) peer.startTime = start;
  } else if (errno != ESRCH) {
    // An older kernel: the pid alone, read as soon as possible.
    peer.startTime = processStartTime(peer.pid);
  }
  return peer;
}

bool peerProcessAlive(const PeerCredentials& peer) {
  if (!peer.startTime) return false;
  if (peer.process && !peer.process->alive()) return false;
  std::optional<uint64_t> start = processStartTime(peer.pid);
  return start && *start == *peer.startTime;
}

const PeerCredentials* currentPeer() { return tCurrentPeer; }

uid_t currentCallerUid() { return tCurrentPeer ? tCurrentPeer->uid : ::geteuid(); }

CurrentPeerScope::CurrentPeerScope(std::optional<PeerCredentials> peer)
    : peer_(std::move(peer)), previous_(tCurrentPeer) {
  tCurrentPeer = peer_ ? &*peer_ : nullptr;
}

CurrentPeerScope::~CurrentPeerScope() { tCurrentPeer = previous_; }

std::optional<std::string> executablePathOfProcess(pid_t pid, ErrorSlot slot) {
  char buffer[4096];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t length = pid > 0 ? ::readlink(link.c_str(), buffer, sizeof buffer) : -1;
  if (pid <= 0) errno = ESRCH;
  if (length <= 0) {
    // No /proc entry, or an exited process whose executable is gone.
    storeFirstError(slot, posixError(errno == ENOENT ? ESRCH : errno));
    return std::nullopt;
  }
  if (static_cast<size_t>(length) >= sizeof buffer) {
    storeFirstError(slot, posixError(ENAMETOOLONG));
    return std::nullopt;
  }
  return std::string(buffer, static_cast<size_t>(length));
}

std::optional<std::string> executablePathOfPeer(const PeerCredentials& peer, ErrorSlot slot) {
  std::optional<std::string> path = executablePathOfProcess(peer.pid, slot);
  // Read first, checked after: the path counts only if the captured process
  // still held the pid when it was read.
  if (path && !peerProcessAlive(peer)) {
    storeFirstError(slot, posixError(ESRCH));
    return std::nullopt;
  }
  return path;
}

}  // namespace ostrakel::remote
