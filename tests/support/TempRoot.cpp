#include "tests/support/TempRoot.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/SocketAddress.h"
#include "platform/SystemRoot.h"

namespace fsys = std::filesystem;

namespace ostrakel::testkit {

namespace {

void makeParent(const std::string& hostPath) { fsys::create_directories(fsys::path(hostPath).parent_path()); }

}  // namespace

TempRoot::TempRoot() {
  char pattern[] = "/tmp/ostrakel-test-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  // Link texts are compared with resolved paths: the root must have none.
  host_ = fsys::canonical(pattern).string();
  systemroot::setHostRoot(host_);
}

TempRoot::~TempRoot() {
  if (log_ >= 0) ::close(log_);
  systemroot::setHostRoot("");
  std::error_code ignored;
  fsys::permissions(host_, fsys::perms::owner_all, ignored);
  fsys::remove_all(host_, ignored);
}

void TempRoot::folder(const std::string& path) const { fsys::create_directories(host(path)); }

void TempRoot::file(const std::string& path, const std::string& content, mode_t mode) const {
  makeParent(host(path));
  std::ofstream(host(path), std::ios::binary | std::ios::trunc) << content;
  ::chmod(host(path).c_str(), mode);
}

void TempRoot::program(const std::string& path) const { file(path, "#!/bin/sh\nexit 0\n", 0755); }

void TempRoot::link(const std::string& path, const std::string& text) const {
  makeParent(host(path));
  std::error_code ignored;
  fsys::remove(host(path), ignored);
  fsys::create_symlink(text, host(path));
}

void TempRoot::setModificationTime(const std::string& path, time_t seconds) const {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ::utimensat(AT_FDCWD, host(path).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::string TempRoot::bundle(const std::string& folder, const std::string& name,
                             const std::vector<std::string>& architectures, const std::string& texbin) const {
  const std::string path = folder + "/" + name + ".velmar";
  this->folder(path + "/Contents/Programs");
  for (const std::string& arch : architectures) program(path + "/Contents/Programs/" + arch + "/pdftex");
  if (!texbin.empty()) link(path + "/Contents/Programs/texbin", texbin);
  return path;
}

std::string TempRoot::linkText(const std::string& path) const {
  std::error_code error;
  auto text = fsys::read_symlink(host(path), error);
  return error ? std::string() : text.string();
}

bool TempRoot::exists(const std::string& path) const {
  std::error_code error;
  return fsys::symlink_status(host(path), error).type() != fsys::file_type::not_found && !error;
}

bool TempRoot::isLink(const std::string& path) const { return fsys::is_symlink(host(path)); }

bool TempRoot::isRealFolder(const std::string& path) const {
  std::error_code error;
  return fsys::symlink_status(host(path), error).type() == fsys::file_type::directory;
}

std::string TempRoot::readText(const std::string& path) const {
  std::ifstream in(host(path), std::ios::binary);
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

bool TempRoot::listenOnDevLog() {
  folder("/dev");
  log_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address;
  return log_ >= 0 && unixSocketAddress(host("/dev/log"), address) &&
         ::bind(log_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

std::optional<std::string> TempRoot::nextDatagram(int timeoutMs) {
  pollfd p{log_, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) != 1) return std::nullopt;
  char buffer[70000];
  ssize_t n = ::recv(log_, buffer, sizeof buffer, 0);
  if (n < 0) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(n));
}

std::optional<std::string> TempRoot::nextText(int timeoutMs) {
  std::optional<std::string> datagram = nextDatagram(timeoutMs);
  if (!datagram) return std::nullopt;
  size_t colon = datagram->find("]: ");
  return colon == std::string::npos ? *datagram : datagram->substr(colon + 3);
}

}  // namespace ostrakel::testkit
