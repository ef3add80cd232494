// The external form: "OSTRAKEL", then the process id, the user id and the
// process start time (big-endian), then eight reserved zero bytes.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Authorization.h"
#include "platform/BigEndian.h"
#include "platform/RemotePeer.h"

namespace ostrakel::authorization {

namespace {

constexpr char kMagic[8] = {'O', 'S', 'T', 'R', 'A', 'K', 'E', 'L'};

}  // namespace

std::optional<uint64_t> processStartTime(pid_t pid) { return remote::processStartTime(pid); }

std::string externalForm(const Reference& reference) {
  std::string out(kMagic, sizeof kMagic);
  bigendian::append(out, static_cast<uint32_t>(reference.pid), 4);
  bigendian::append(out, static_cast<uint32_t>(reference.uid), 4);
  bigendian::append(out, reference.startTime, 8);
  out.append(8, '\0');
  return out;
}

std::optional<std::string> makeExternalForm() {
  Reference self{::getpid(), ::geteuid(), 0};
  std::optional<uint64_t> start = processStartTime(self.pid);
  if (!start) return std::nullopt;
  self.startTime = *start;
  return externalForm(self);
}

std::optional<Reference> parseExternalForm(const std::string& bytes) {
  if (bytes.size() != kExternalFormLength || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return std::nullopt;
  for (size_t i = 24; i < kExternalFormLength; ++i)
    if (bytes[i] != '\0') return std::nullopt;
  Reference reference;
  reference.pid = static_cast<pid_t>(bigendian::read(bytes.data() + 8, 4));
  reference.uid = static_cast<uid_t>(bigendian::read(bytes.data() + 12, 4));
  reference.startTime = bigendian::read(bytes.data() + 16, 8);
  if (reference.pid <= 0) return std::nullopt;
  return reference;
}

int32_t createFromExternalForm(const std::string& bytes, std::shared_ptr<Reference>& reference) {
  reference.reset();
  std::optional<Reference> parsed = parseExternalForm(bytes);
  if (!parsed) return kInvalidRef;
  // Only the process that opened the connection may lend its identity, as it
  // was captured when the connection was accepted, and only while that very
  // process is alive: a peer that handed its socket on and exited cannot
  // borrow the identity of whoever holds its pid next.
  const remote::PeerCredentials* peer = remote::currentPeer();
  if (!peer || !peer->startTime || peer->pid != parsed->pid || peer->uid != parsed->uid ||
      *peer->startTime != parsed->startTime || !remote::peerProcessAlive(*peer))
    return kInvalidRef;
  reference = std::make_shared<Reference>(Reference{peer->pid, peer->uid, *peer->startTime});
  return kSuccess;
}

}  // namespace ostrakel::authorization
