// The listener: the service socket (bound here or passed by the service
// manager) and the thread that accepts connections on it.
#include "platform/RemoteListener.h"
#include "platform/SocketActivation.h"
#include "platform/RefusalLog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SystemLog.h"
#include "platform/SystemRoot.h"

namespace ostrakel {

namespace {

// Creates every missing folder of `hostDir` (mode 0755).
void makeFolders(const std::string& hostDir) {
  for (size_t pos = 1; pos <= hostDir.size(); ++pos) {
    if (pos == hostDir.size() || hostDir[pos] == '/') {
      std::string prefix = hostDir.substr(0, pos);
      if (!prefix.empty()) ::mkdir(prefix.c_str(), 0755);
    }
  }
}

bool fillAddress(const std::string& hostPath, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (hostPath.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, hostPath.c_str(), hostPath.size() + 1);
  return true;
}

// Whether a service already answers at `hostPath`.
bool someoneListens(const sockaddr_un& address) {
  int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  bool listening = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  return listening;
}

}  // namespace

Listener::Listener(std::string serviceName) : serviceName_(std::move(serviceName)) {}

Listener::~Listener() { invalidate(); }

std::string Listener::socketPathForService(const std::string& serviceName) {
  return "/var/run/" + serviceName + ".socket";
}

void Listener::setDelegate(Delegate delegate) {
  std::lock_guard<std::mutex> lock(delegateMutex_);
  delegate_ = std::move(delegate);
}

bool Listener::bindSocket() {
  const std::string path = socketPathForService(serviceName_);
  const std::string hostPath = systemroot::toHost(path);
  sockaddr_un address;
  if (!fillAddress(hostPath, address)) {
    systemlog::serviceLog(3, "Listener: socket path too long: %@", {hostPath});
    return false;
  }
  makeFolders(hostPath.substr(0, hostPath.rfind('/')));
  if (someoneListens(address)) {
    systemlog::serviceLog(3, "Listener: another service already listens at %@", {hostPath});
    return false;
  }
  ::unlink(hostPath.c_str());  // a socket left behind by an earlier run
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(hostPath.c_str(), 0666) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    int error = errno;
    if (fd >= 0) ::close(fd);
    systemlog::serviceLog(3, "Listener: cannot listen at %@: %s", {hostPath, std::strerror(error)});
    return false;
  }
  listenFd_ = fd;
  boundHostPath_ = hostPath;
  return true;
}

bool Listener::resume() {
  if (thread_.joinable()) return true;
  if (listenFd_ < 0) {
    // A socket passed by the service manager comes first.
    int passed = socketactivation::passedListeningSocket();
    if (passed >= 0) {
      listenFd_ = passed;
      ::fcntl(listenFd_, F_SETFD, FD_CLOEXEC);
    } else if (!bindSocket()) {
      return false;
    }
  }
  if (::pipe2(wakeFds_, O_CLOEXEC) != 0) {
    systemlog::serviceLog(3, "Listener: cannot create its wake-up pipe: %s", {std::strerror(errno)});
    return false;
  }
  thread_ = std::thread(&Listener::acceptLoop, this);
  return true;
}

void Listener::invalidate() {
  if (thread_.joinable()) {
    char byte = 0;
    while (::write(wakeFds_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  for (int& fd : wakeFds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
  if (!boundHostPath_.empty()) ::unlink(boundHostPath_.c_str());
  boundHostPath_.clear();
}

void Listener::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    // Once a second, say how many refusal lines were held back.
    for (const std::string& line : refusallog::takeSummaries()) systemlog::serviceLog(3, line);
    if (::poll(fds, 2, 1000) < 0) {
      if (errno == EINTR) continue;
      systemlog::serviceLog(3, "Listener: poll failed: %s", {std::strerror(errno)});
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: give the running connections a moment to finish.
      if (errno == EMFILE || errno == ENFILE || errno == ENOMEM || errno == ENOBUFS) ::usleep(50 * 1000);
      continue;
    }
    std::shared_ptr<Connection> connection = Connection::fromSocket(fd);
    Delegate delegate;
    {
      std::lock_guard<std::mutex> lock(delegateMutex_);
      delegate = delegate_;
    }
    if (!connection || !delegate) continue;
    try {
      delegate(*connection);  // an accepted connection keeps itself alive
    } catch (const std::exception& exception) {
      systemlog::serviceLog(3, "Listener: accepting a connection failed: %s", {exception.what()});
    }
  }
}

}  // namespace ostrakel
