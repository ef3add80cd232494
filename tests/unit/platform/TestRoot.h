// A temporary system root for one test, with an optional listener on its
// /dev/log that collects the datagrams the system log sends.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/SystemRoot.h"

namespace ostrakel::testkit {

class TestRoot {
public:
  TestRoot() {
    char pattern[] = "/tmp/ostrakel-platform-XXXXXX";
    if (::mkdtemp(pattern)) host_ = pattern;
    systemroot::setHostRoot(host_);
  }
  ~TestRoot() {
    if (log_ >= 0) ::close(log_);
    systemroot::setHostRoot("");
    std::error_code ignored;
    std::filesystem::remove_all(host_, ignored);
  }
  const std::string& host() const { return host_; }
  std::string host(const std::string& path) const { return host_ + path; }

  bool listenOnDevLog() {
    std::filesystem::create_directories(host("/dev"));
    log_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = host("/dev/log");
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return log_ >= 0 && ::bind(log_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }

  // The next datagram, or none within the timeout.
  std::optional<std::string> nextDatagram(int timeoutMs = 2000) {
    pollfd p{log_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return std::nullopt;
    char buffer[70000];
    ssize_t n = ::recv(log_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
  }

  // The text after the "IDENT[PID]: " header of the next datagram.
  std::optional<std::string> nextText(int timeoutMs = 2000) {
    auto datagram = nextDatagram(timeoutMs);
    if (!datagram) return std::nullopt;
    size_t colon = datagram->find("]: ");
    return colon == std::string::npos ? *datagram : datagram->substr(colon + 3);
  }

private:
  std::string host_;
  int log_ = -1;
};

}  // namespace ostrakel::testkit
