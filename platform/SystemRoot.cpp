#include "platform/SystemRoot.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>

namespace ostrakel::systemroot {

namespace {

struct RootState {
  std::mutex mutex;
  bool initialised = false;
  std::string host;  // "" for the real root
  int fd = -1;
};

RootState& state() {
  static RootState s;
  return s;
}

std::string canonicalRoot(const std::string& root) {
  if (root.empty() || root == "/") return "";
  char buffer[PATH_MAX];
  std::string canonical = realpath(root.c_str(), buffer) ? std::string(buffer) : root;
  while (canonical.size() > 1 && canonical.back() == '/') canonical.pop_back();
  return canonical == "/" ? "" : canonical;
}

void applyLocked(RootState& s, const std::string& root) {
  s.host = canonicalRoot(root);
  if (s.fd >= 0) close(s.fd);
  s.fd = open(s.host.empty() ? "/" : s.host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  s.initialised = true;
}

RootState& ready() {
  RootState& s = state();
  std::lock_guard lock(s.mutex);
  if (!s.initialised) {
    const char* env = std::getenv("OSTRAKEL_ROOT");
    applyLocked(s, env ? env : "");
  }
  return s;
}

}  // namespace

std::string hostRoot() {
  RootState& s = ready();
  std::lock_guard lock(s.mutex);
  return s.host;
}

void setHostRoot(const std::string& root) {
  RootState& s = state();
  std::lock_guard lock(s.mutex);
  applyLocked(s, root);
}

int rootDescriptor() {
  RootState& s = ready();
  std::lock_guard lock(s.mutex);
  return s.fd;
}

std::string toHost(const std::string& path) {
  std::string host = hostRoot();
  if (host.empty() || path.empty() || path[0] != '/') return path;
  return path == "/" ? host : host + path;
}

bool fromHost(const std::string& hostPath, std::string* path) {
  std::string host = hostRoot();
  if (host.empty()) {
    *path = hostPath;
    return true;
  }
  if (hostPath == host) {
    *path = "/";
    return true;
  }
  if (hostPath.size() > host.size() && hostPath.compare(0, host.size(), host) == 0 &&
      hostPath[host.size()] == '/') {
    *path = hostPath.substr(host.size());
    return true;
  }
  return false;
}

}  // namespace ostrakel::systemroot
