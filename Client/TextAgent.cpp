#include "Client/TextAgent.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace ostrakel::client {

namespace {
constexpr int kRegistrationWaitMilliseconds = 5000;
}

TextAgent::TextAgent() {
  int notify[2];
  if (::pipe2(notify, O_CLOEXEC) != 0) return;
  const std::string self = std::to_string(::getpid());
  pid_ = ::fork();
  if (pid_ == 0) {
    // The agent tells it has registered by closing descriptor 3.
    ::dup2(notify[1], 3);
    ::execlp("pkttyagent", "pkttyagent", "--process", self.c_str(), "--fallback", "--notify-fd", "3",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(notify[1]);
  if (pid_ > 0) {
    pollfd wait{notify[0], POLLIN, 0};
    // Readable means closed (registered) or the agent gave up and exited.
    ::poll(&wait, 1, kRegistrationWaitMilliseconds);
  }
  ::close(notify[0]);
}

TextAgent::~TextAgent() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace ostrakel::client
