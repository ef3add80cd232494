// What misbehaving peers write on the service's socket, for the unit tests,
// the fault tool of the end-to-end tests and the fairness benchmark.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/BigEndian.h"

namespace ostrakel::testkit {

// A frame's 4-byte big-endian length header alone, for any length: also one
// the service must refuse.
inline std::string frameHeader(uint32_t length) {
  std::string header;
  bigendian::append(header, length, 4);
  return header;
}

struct FloodOutcome {
  long sent = 0;        // whole frames written
  bool closed = false;  // the service closed the connection before the time was up
};

// A peer that never reads a reply: writes `frame` again and again on `fd` (made non-blocking) until `until`
// or until the service closes the connection.
inline FloodOutcome sendWithoutReading(int fd, const std::string& frame, std::chrono::steady_clock::time_point until) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  FloodOutcome outcome;
  size_t offset = 0;
  while (std::chrono::steady_clock::now() < until) {
    ssize_t n = ::send(fd, frame.data() + offset, frame.size() - offset, MSG_NOSIGNAL);
    if (n > 0) {
      offset += static_cast<size_t>(n);
      if (offset == frame.size()) offset = 0, ++outcome.sent;
      continue;
    }
    if (n < 0 && errno != EAGAIN) break;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 50);
    if (p.revents & (POLLHUP | POLLERR)) break;
  }
  outcome.closed = std::chrono::steady_clock::now() < until;
  return outcome;
}

}  // namespace ostrakel::testkit
