// A throw-away system root for tests that touch the disk: a fresh folder that
// stands for "/" while the object lives.
#pragma once

#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/SystemRoot.h"

namespace ostrakel::testing {

class TempRoot {
public:
  TempRoot() {
    char pattern[] = "/tmp/ostrakel-foundation-XXXXXX";
    const char* made = mkdtemp(pattern);
    host_ = made ? made : "";
    systemroot::setHostRoot(host_);
  }
  ~TempRoot() {
    if (log_ >= 0) ::close(log_);
    systemroot::setHostRoot("");
    std::error_code ignored;
    std::filesystem::remove_all(host_, ignored);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  bool valid() const { return !host_.empty(); }
  // The host path of a path inside the root.
  std::string host(const std::string& path) const { return host_ + path; }

  void folder(const std::string& path) const { std::filesystem::create_directories(host(path)); }
  void file(const std::string& path, const std::string& text = "x") const {
    std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
    std::ofstream(host(path)) << text;
  }
  void link(const std::string& path, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(host(path)).parent_path());
    std::filesystem::create_symlink(text, host(path));
  }
  // The text of the link at a path, "" when there is no link.
  std::string linkText(const std::string& path) const {
    std::error_code error;
    auto text = std::filesystem::read_symlink(host(path), error);
    return error ? std::string() : text.string();
  }
  bool isLink(const std::string& path) const { return std::filesystem::is_symlink(host(path)); }
  bool isRealFolder(const std::string& path) const {
    return !isLink(path) && std::filesystem::is_directory(host(path));
  }
  bool exists(const std::string& path) const {
    return std::filesystem::exists(std::filesystem::symlink_status(host(path)));
  }

  // Listens on the root's /dev/log, where the system log sends its messages.
  bool listenOnDevLog() {
    folder("/dev");
    log_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, host("/dev/log").c_str(), sizeof address.sun_path - 1);
    return log_ >= 0 && ::bind(log_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  // The text of the next message (after its "IDENT[PID]: " header), or none.
  std::optional<std::string> nextLogText(int timeoutMs = 2000) {
    pollfd p{log_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return std::nullopt;
    char buffer[70000];
    ssize_t n = ::recv(log_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    std::string datagram(buffer, static_cast<size_t>(n));
    size_t colon = datagram.find("]: ");
    return colon == std::string::npos ? datagram : datagram.substr(colon + 3);
  }

private:
  std::string host_;
  int log_ = -1;
};

}  // namespace ostrakel::testing
