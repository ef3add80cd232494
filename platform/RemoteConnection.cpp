// One accepted connection: peer credentials, the serving thread and replies.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "Library/Common/Logger4Ostrakel.h"
#include "platform/RemoteListener.h"

namespace ostrakel {

namespace {

std::atomic<int> gActiveConnections{0};
constexpr time_t kSendTimeoutSeconds = 10;

std::vector<gid_t> peerGroups(int fd) {
  std::vector<gid_t> groups(64);
  for (int attempt = 0; attempt < 4; ++attempt) {
    socklen_t length = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &length) == 0) {
      groups.resize(length / sizeof(gid_t));
      return groups;
    }
    if (errno != ERANGE) break;
    // The kernel reports the size it needs.
    groups.resize(length / sizeof(gid_t) + 1);
  }
  return {};  // unknown: the peer then counts with its primary group only
}

}  // namespace

int activeConnectionCount() { return gActiveConnections.load(); }

Connection::Connection(int fd, remote::PeerCredentials peer) : fd_(fd), peer_(std::move(peer)) {}

Connection::~Connection() { ::close(fd_); }

std::shared_ptr<Connection> Connection::fromSocket(int fd) {
  struct ucred credentials {};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.pid <= 0) {
    ::close(fd);
    return nullptr;
  }
  // A peer that stops reading must not hold up the thread that answers it
  // (for deferred replies, the main queue): a blocked send gives up.
  timeval sendTimeout{kSendTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  remote::PeerCredentials peer{credentials.pid, credentials.uid, credentials.gid, peerGroups(fd)};
  return std::shared_ptr<Connection>(new Connection(fd, std::move(peer)));
}

void Connection::setExportedObject(std::shared_ptr<RemoteObject> object) { exported_ = std::move(object); }

void Connection::resume() {
  if (!exported_ || resumed_.exchange(true)) return;
  ++gActiveConnections;
  std::thread([self = shared_from_this()] {
    self->serve();
    --gActiveConnections;
  }).detach();
}

void Connection::invalidate() { ::shutdown(fd_, SHUT_RDWR); }

void Connection::serve() {
  const int pid = static_cast<int>(peer_.pid);
  for (;;) {
    std::string payload;
    remote::FrameStatus status = remote::readFrame(fd_, payload);
    if (status == remote::FrameStatus::closed) break;
    if (status != remote::FrameStatus::ok) {
      Logger4Ostrakel::logWithLevel(3, "Connection of process %d closed: %s",
                                    {pid, remote::describe(status)});
      break;
    }
    PlistRef value = plist::parse(payload);
    if (!value) {
      Logger4Ostrakel::logWithLevel(3, "Connection of process %d closed: payload is not a property list",
                                    {pid});
      break;
    }
    std::string why;
    std::optional<remote::Request> request = remote::decodeRequest(value, why);
    if (!request) {
      Logger4Ostrakel::logWithLevel(3, "Connection of process %d closed: %@", {pid, why});
      break;
    }
    bool delivered = false;
    {
      remote::CurrentPeerScope scope(peer_);
      try {
        delivered = exported_->deliverRequest(*request, replySender(request->id), why);
      } catch (const std::exception& exception) {
        why = std::string("exception: ") + exception.what();
      } catch (...) {
        why = "unknown exception";
      }
    }
    if (!delivered) {
      Logger4Ostrakel::logWithLevel(3, "Connection of process %d closed: refused request %@: %@",
                                    {pid, request->name, why});
      break;
    }
  }
  invalidate();
}

RemoteReplyBlock Connection::replySender(remote::RequestId id) {
  auto sent = std::make_shared<std::atomic<bool>>(false);
  return [self = shared_from_this(), id, sent](const std::string& message, const ErrorRef& error) {
    if (sent->exchange(true)) return;  // one request, one answer
    self->sendReply(remote::Reply{id, message, error});
  };
}

bool Connection::sendReply(const remote::Reply& reply) {
  PlistRef value = remote::encodeReply(reply);
  std::optional<std::string> payload = plist::toBinary(*value);
  std::optional<std::string> frame = payload ? remote::frameBytes(*payload) : std::nullopt;
  if (!frame) {
    Logger4Ostrakel::logWithLevel(3, "Reply %@ to process %d could not be encoded",
                                  {reply.id.description(), static_cast<int>(peer_.pid)});
    return false;
  }
  std::lock_guard<std::mutex> lock(writeMutex_);
  // A peer that has gone simply misses its reply. A reply cut short (the
  // peer stopped reading) would garble the stream, so the connection ends.
  if (remote::writeAll(fd_, *frame)) return true;
  invalidate();
  return false;
}

}  // namespace ostrakel
