// The external form: "OSTRAKEL", then the process id, the user id and the
// process start time (big-endian), then eight reserved zero bytes.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Authorization.h"
#include "platform/RemotePeer.h"

namespace ostrakel::authorization {

namespace {

constexpr char kMagic[8] = {'O', 'S', 'T', 'R', 'A', 'K', 'E', 'L'};

void putBigEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

uint64_t getBigEndian(const std::string& in, size_t offset, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(in[offset + i]);
  return value;
}

}  // namespace

std::optional<uint64_t> processStartTime(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // The command name may hold spaces and parentheses: fields start after the last ')'.
  size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  // Field 3 (the state) is the first after the name; field 22 is the 20th.
  for (int index = 3; index <= 22; ++index) {
    if (!(fields >> field)) return std::nullopt;
  }
  try {
    return std::stoull(field);
  } catch (...) {
    return std::nullopt;
  }
}

std::string externalForm(const Reference& reference) {
  std::string out(kMagic, sizeof kMagic);
  putBigEndian(out, static_cast<uint32_t>(reference.pid), 4);
  putBigEndian(out, static_cast<uint32_t>(reference.uid), 4);
  putBigEndian(out, reference.startTime, 8);
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
  reference.pid = static_cast<pid_t>(getBigEndian(bytes, 8, 4));
  reference.uid = static_cast<uid_t>(getBigEndian(bytes, 12, 4));
  reference.startTime = getBigEndian(bytes, 16, 8);
  if (reference.pid <= 0) return std::nullopt;
  return reference;
}

int32_t createFromExternalForm(const std::string& bytes, std::shared_ptr<Reference>& reference) {
  reference.reset();
  std::optional<Reference> parsed = parseExternalForm(bytes);
  if (!parsed) return kInvalidRef;
  // Only the process that carried the request may lend its identity, and
  // only while it is the same process (a reused pid has another start time).
  const remote::PeerCredentials* peer = remote::currentPeer();
  if (!peer || peer->pid != parsed->pid || peer->uid != parsed->uid) return kInvalidRef;
  std::optional<uint64_t> start = processStartTime(parsed->pid);
  if (!start || *start != parsed->startTime) return kInvalidRef;
  reference = std::make_shared<Reference>(*parsed);
  return kSuccess;
}

}  // namespace ostrakel::authorization
