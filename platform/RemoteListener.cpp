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
#include "platform/SocketAddress.h"
#include "platform/SystemRoot.h"
#include "platform/WriteAll.h"

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

// Whether a service already answers at `hostPath`.
bool someoneListens(const sockaddr_un& address) {
  UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return probe.ok() && ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
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
  if (!unixSocketAddress(hostPath, address)) {
    systemlog::serviceLog(3, "Listener: socket path too long: %@", {hostPath});
    return false;
  }
  makeFolders(hostPath.substr(0, hostPath.rfind('/')));
  if (someoneListens(address)) {
    systemlog::serviceLog(3, "Listener: another service already listens at %@", {hostPath});
    return false;
  }
  ::unlink(hostPath.c_str());  // a socket left behind by an earlier run
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.ok() || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(hostPath.c_str(), 0666) != 0 || ::listen(fd.get(), SOMAXCONN) != 0) {
    int error = errno;
    fd.reset();
    systemlog::serviceLog(3, "Listener: cannot listen at %@: %s", {hostPath, std::strerror(error)});
    return false;
  }
  listenFd_ = std::move(fd);
  boundHostPath_ = hostPath;
  return true;
}

bool Listener::resume() {
  if (thread_.joinable()) return true;
  if (!listenFd_.ok()) {
    // A socket passed by the service manager comes first.
    int passed = socketactivation::passedListeningSocket();
    if (passed >= 0) {
      listenFd_.reset(passed);
      ::fcntl(listenFd_.get(), F_SETFD, FD_CLOEXEC);
    } else if (!bindSocket()) {
      return false;
    }
  }
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) {
    systemlog::serviceLog(3, "Listener: cannot create its wake-up pipe: %s", {std::strerror(errno)});
    return false;
  }
  wakeRead_.reset(wake[0]);
  wakeWrite_.reset(wake[1]);
  thread_ = std::thread(&Listener::acceptLoop, this);
  return true;
}

void Listener::invalidate() {
  if (thread_.joinable()) {
    char byte = 0;
    writeAll(wakeWrite_.get(), std::string_view(&byte, 1));
    thread_.join();
  }
  wakeRead_.reset();
  wakeWrite_.reset();
  listenFd_.reset();
  if (!boundHostPath_.empty()) ::unlink(boundHostPath_.c_str());
  boundHostPath_.clear();
}

void Listener::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listenFd_.get(), POLLIN, 0}, {wakeRead_.get(), POLLIN, 0}};
    // Once a second, say how many refusal lines were held back.
    for (const std::string& line : refusallog::takeSummaries()) systemlog::serviceLog(3, line);
    if (::poll(fds, 2, 1000) < 0) {
      if (errno == EINTR) continue;
      systemlog::serviceLog(3, "Listener: poll failed: %s", {std::strerror(errno)});
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    int fd = ::accept4(listenFd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
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
