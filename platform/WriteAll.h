// Writing a whole buffer to a descriptor, whatever the kernel takes per call.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace ostrakel {

// Writes all of `bytes` to `fd`, going on after interruptions and short
// writes. False, with errno set, when the descriptor fails or takes nothing.
// On a socket whose peer has gone it fails with EPIPE and never raises
// SIGPIPE.
inline bool writeAll(int fd, std::string_view bytes) {
  bool socket = true;  // until the descriptor says otherwise
  size_t done = 0;
  while (done < bytes.size()) {
    const char* from = bytes.data() + done;
    const size_t length = bytes.size() - done;
    ssize_t n = socket ? ::send(fd, from, length, MSG_NOSIGNAL) : ::write(fd, from, length);
    if (n < 0 && socket && errno == ENOTSOCK) {
      socket = false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace ostrakel
