#include "platform/SocketActivation.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace ostrakel::socketactivation {

namespace {

constexpr int kFirstPassedDescriptor = 3;

bool parsePositive(const char* text, long* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed <= 0) return false;
  *value = parsed;
  return true;
}

int intOption(int fd, int level, int name) {
  int value = 0;
  socklen_t length = sizeof value;
  return getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

}  // namespace

int passedListeningSocket() {
  long pid = 0, count = 0;
  bool forUs = parsePositive(std::getenv("LISTEN_PID"), &pid) && pid == getpid() &&
               parsePositive(std::getenv("LISTEN_FDS"), &count);
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  if (!forUs) return -1;
  const int fd = kFirstPassedDescriptor;
  if (intOption(fd, SOL_SOCKET, SO_DOMAIN) != AF_UNIX || intOption(fd, SOL_SOCKET, SO_TYPE) != SOCK_STREAM ||
      intOption(fd, SOL_SOCKET, SO_ACCEPTCONN) != 1)
    return -1;
  return fd;
}

}  // namespace ostrakel::socketactivation
