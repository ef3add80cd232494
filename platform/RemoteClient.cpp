#include "platform/RemoteClient.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SocketAddress.h"
#include "platform/UniqueFd.h"

namespace ostrakel::remote {

int connectToSocket(const std::string& hostPath, std::string& why) {
  sockaddr_un address;
  if (!unixSocketAddress(hostPath, address)) {
    why = "socket path too long: " + hostPath;
    return -1;
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.ok()) {
    why = std::strerror(errno);
    return -1;
  }
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    why = "cannot connect to " + hostPath + ": " + std::strerror(error);
    fd.reset();
    errno = error;  // callers tell "not running" from other failures by it
    return -1;
  }
  return fd.release();
}

std::optional<Reply> ask(int fd, const Request& request, std::string& why) {
  std::optional<std::string> payload = plist::toBinary(*encodeRequest(request));
  std::optional<std::string> frame = payload ? frameBytes(*payload) : std::nullopt;
  if (!frame) {
    why = "the request is too large to send";
    return std::nullopt;
  }
  if (!writeAll(fd, *frame)) {
    why = std::string("cannot send the request: ") + std::strerror(errno);
    return std::nullopt;
  }
  for (;;) {
    std::string bytes;
    FrameStatus status = readFrame(fd, bytes);
    if (status == FrameStatus::closed) {
      why = "the service closed the connection without a reply";
      return std::nullopt;
    }
    if (status != FrameStatus::ok) {
      why = std::string("cannot read the reply: ") + describe(status);
      return std::nullopt;
    }
    std::optional<Reply> reply = decodeReply(plist::parse(bytes), why);
    if (!reply) return std::nullopt;
    if (reply->id == request.id) return reply;
  }
}

}  // namespace ostrakel::remote
