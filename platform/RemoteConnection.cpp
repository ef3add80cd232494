// One accepted connection: peer credentials, the serving thread and replies.
//
// The connection's own thread does all the socket work: it reads requests as
// they arrive and delivers whole frames one at a time, and it writes the
// replies that other threads (the main queue among them) have queued. No
// other thread ever waits on the peer.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <map>

#include "platform/CompactBinaryPlist.h"
#include "platform/RefusalLog.h"
#include "platform/RemoteListener.h"
#include "platform/SystemLog.h"

namespace ostrakel {

namespace {

using Clock = std::chrono::steady_clock;

// Connection slots, per user; root's apart from everybody else's.
struct Slots {
  std::mutex mutex;
  std::map<uid_t, int> perUser;
  int others = 0;
  int root = 0;
};

Slots& slots() {
  static Slots instance;
  return instance;
}

bool takeSlot(uid_t uid) {
  Slots& s = slots();
  std::lock_guard lock(s.mutex);
  if (uid == 0) {
    if (s.root >= kMaxConnections) return false;
    ++s.root;
  } else {
    int& mine = s.perUser[uid];
    if (mine >= kMaxConnectionsPerUser || s.others >= kMaxConnections) {
      if (mine == 0) s.perUser.erase(uid);
      return false;
    }
    ++mine;
    ++s.others;
  }
  return true;
}

void releaseSlot(uid_t uid) {
  Slots& s = slots();
  std::lock_guard lock(s.mutex);
  if (uid == 0) {
    --s.root;
    return;
  }
  --s.others;
  auto it = s.perUser.find(uid);
  if (it != s.perUser.end() && --it->second <= 0) s.perUser.erase(it);
}

// The connection whose thread this is, while it serves, and whether the
// request it is delivering had no earlier one of the connection unanswered.
thread_local const Connection* servingConnection = nullptr;
thread_local bool deliveringAlone = false;

}  // namespace

void logRefusal(uid_t uid, int32_t level, std::string_view format, std::initializer_list<FmtArg> args) {
  std::string summary;
  if (!refusallog::admit(uid, summary)) return;
  if (!summary.empty()) systemlog::serviceLog(level, summary);
  systemlog::serviceLog(level, format, args);
}

// Stands for one delivered request until it is answered; a request whose
// reply callback is dropped unanswered still counts as done.
struct Connection::Ticket {
  std::shared_ptr<Connection> connection;
  std::atomic<bool> answered{false};
  explicit Ticket(std::shared_ptr<Connection> c) : connection(std::move(c)) {}
  ~Ticket() {
    if (!answered.exchange(true)) connection->answered();
  }
};

Connection::Connection(int fd, int wakeFd, remote::PeerCredentials peer)
    : fd_(fd), wakeFd_(wakeFd), peer_(std::move(peer)) {}

Connection::~Connection() {
  releaseSlot(peer_.uid);
  ::close(fd_);
  ::close(wakeFd_);
}

std::shared_ptr<Connection> Connection::fromSocket(int fd) {
  std::optional<remote::PeerCredentials> peer = remote::capturePeer(fd);
  if (!peer) {
    ::close(fd);
    return nullptr;
  }
  if (!takeSlot(peer->uid)) {
    logRefusal(peer->uid, 3, "Listener: too many connections of user %d, one refused",
               {static_cast<int64_t>(peer->uid)});
    ::close(fd);
    return nullptr;
  }
  int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    releaseSlot(peer->uid);
    ::close(fd);
    return nullptr;
  }
  // Blocking, so that an idle connection can wait in its read; every other
  // call on it says MSG_DONTWAIT.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return std::shared_ptr<Connection>(new Connection(fd, wakeFd, std::move(*peer)));
}

void Connection::setExportedObject(std::shared_ptr<RemoteObject> object) { exported_ = std::move(object); }

void Connection::resume() {
  if (!exported_ || resumed_.exchange(true)) return;
  std::thread([self = shared_from_this()] { self->serve(); }).detach();
}

void Connection::invalidate() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;  // the serving thread drops what is still queued
  }
  ::shutdown(fd_, SHUT_RDWR);
  wake();
}

void Connection::wake() {
  uint64_t one = 1;
  while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Connection::refuse(const std::string& why) {
  logRefusal(peer_.uid, 3, "Connection of process %d closed: %@", {static_cast<int>(peer_.pid), why});
}

bool Connection::deliveringOnlyUnanswered() { return deliveringAlone; }

void Connection::serve() {
  servingConnection = this;
  remote::FrameReader frames;
  bool reading = true;
  bool timed = false;  // whether `deadline` applies to a started frame
  Clock::time_point deadline{};
  Clock::time_point lastProgress = Clock::now();  // of writing, while replies wait
  for (;;) {
    bool pendingOut, overflowed;
    int outstanding;
    size_t unsent;
    {
      std::lock_guard lock(mutex_);
      if (closed_) break;
      pendingOut = !outbox_.empty();
      overflowed = overflowed_;
      outstanding = outstanding_;
      unsent = unsentBytes_;
    }
    if (overflowed) {
      refuse("more than " + std::to_string(kMaxUnsentReplyBytes) + " bytes of replies unsent");
      break;
    }
    // After the peer's last request: deliver every reply still due, then close.
    if (!reading && !pendingOut && outstanding == 0) break;
    // A peer that does not read its replies gets no more requests served:
    // it costs the service nothing while it waits, and is closed if it keeps
    // its replies waiting too long.
    const bool backedUp = unsent > kPauseReadingBytes;
    if (!backedUp) lastProgress = Clock::now();
    const bool wantRead = reading && outstanding < kMaxOutstandingRequests && !backedUp;
    // Only a frame that has begun, and is being read, runs against the clock.
    if (!wantRead || !frames.started()) {
      timed = false;
    } else if (!timed) {
      timed = true;
      deadline = Clock::now() + std::chrono::seconds(kFrameDeadlineSeconds);
    }
    // Whole requests held back while others were in progress come first;
    // the peer may send nothing more until they are answered.
    if (wantRead && frames.started()) {
      bool delivered = false;
      if (!deliverBuffered(frames, delivered) || !flushGivenReplies()) break;
      if (delivered) continue;  // look again at what is due now
    }
    // No reply due, no request in progress, no frame begun: nothing but the
    // peer can give this thread work, so it waits in the read itself, which
    // spares a call to poll per request (invalidate's shutdown ends the wait).
    if (wantRead && !frames.started() && !pendingOut && outstanding == 0) {
      if (!readAndDeliver(frames, reading, true) || !flushGivenReplies()) break;
      continue;
    }
    std::optional<Clock::time_point> due;
    if (timed) due = deadline;
    if (backedUp) due = std::min(due.value_or(Clock::time_point::max()), lastProgress + std::chrono::seconds(kFrameDeadlineSeconds));
    int timeout = -1;
    if (due) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*due - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, left) + 1);
    }
    pollfd fds[2] = {{fd_, static_cast<short>((wantRead ? POLLIN : 0) | (pendingOut ? POLLOUT : 0)), 0},
                     {wakeFd_, POLLIN, 0}};
    int ready = ::poll(fds, 2, timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      if (timed && Clock::now() >= deadline) {
        refuse("frame not complete " + std::to_string(kFrameDeadlineSeconds) + " s after its first byte");
        break;
      }
      if (backedUp && Clock::now() >= lastProgress + std::chrono::seconds(kFrameDeadlineSeconds)) {
        refuse("replies not read for " + std::to_string(kFrameDeadlineSeconds) + " s");
        break;
      }
      continue;
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count;
      while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
      }
    }
    if (pendingOut && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const size_t before = unsent;
      if (!flushReplies()) break;
      std::lock_guard lock(mutex_);
      if (unsentBytes_ < before) lastProgress = Clock::now();
    }
    if (wantRead && (fds[0].revents & (POLLIN | POLLERR | POLLHUP))) {
      if (!readAndDeliver(frames, reading, false) || !flushGivenReplies()) break;
    } else if (!wantRead && !pendingOut && (fds[0].revents & (POLLERR | POLLHUP))) {
      break;  // the peer has gone both ways: nobody is left to answer
    }
  }
  servingConnection = nullptr;
  invalidate();
  std::lock_guard lock(mutex_);
  outbox_.clear();
  unsentBytes_ = 0;
}

bool Connection::flushGivenReplies() {
  // Replies given while delivering go out at once: the socket almost always
  // takes them, which spares a round through poll.
  {
    std::lock_guard lock(mutex_);
    if (outbox_.empty() || closed_) return true;
  }
  return flushReplies();
}

bool Connection::readAndDeliver(remote::FrameReader& frames, bool& reading, bool wait) {
  char buffer[16 * 1024];
  ssize_t n = ::recv(fd_, buffer, sizeof buffer, wait ? 0 : MSG_DONTWAIT);
  if (n < 0) {
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return true;
    if (errno == ECONNRESET) return false;  // the peer went away; not a fault of ours
    refuse(remote::describe(remote::FrameStatus::ioError));
    return false;
  }
  if (n == 0) {
    if (frames.started()) {
      refuse(remote::describe(remote::FrameStatus::truncated));
      return false;
    }
    // A half-close: no more requests, but every reply still goes out.
    reading = false;
    ::shutdown(fd_, SHUT_RD);
    return true;
  }
  frames.append(buffer, static_cast<size_t>(n));
  bool delivered = false;
  return deliverBuffered(frames, delivered);
}

bool Connection::deliverBuffered(remote::FrameReader& frames, bool& delivered) {
  for (;;) {
    std::string payload;
    switch (frames.next(payload)) {
      case remote::FrameReader::Next::needMore: return true;
      case remote::FrameReader::Next::tooLong: refuse(remote::describe(remote::FrameStatus::tooLong)); return false;
      case remote::FrameReader::Next::frame:
        if (!deliver(payload)) return false;
        delivered = true;
        break;
    }
    std::lock_guard lock(mutex_);
    if (closed_ || overflowed_) return true;  // the loop closes
    if (outstanding_ >= kMaxOutstandingRequests) return true;  // the rest waits in the buffer
  }
}

bool Connection::deliver(const std::string& payload) {
  PlistRef value = plist::parse(payload);
  if (!value) {
    refuse("payload is not a property list");
    return false;
  }
  std::string why;
  std::optional<remote::Request> request = remote::decodeRequest(value, why);
  if (!request) {
    refuse(why);
    return false;
  }
  bool delivered = false;
  {
    {
      std::lock_guard lock(mutex_);
      deliveringAlone = outstanding_ == 0;
    }
    remote::CurrentPeerScope scope(peer_);
    try {
      delivered = exported_->deliverRequest(*request, replySender(request->id), why);
    } catch (const std::exception& exception) {
      why = std::string("exception: ") + exception.what();
    } catch (...) {
      why = "unknown exception";
    }
    deliveringAlone = false;
  }
  if (!delivered) {
    logRefusal(peer_.uid, 3, "Connection of process %d closed: refused request %@: %@",
               {static_cast<int>(peer_.pid), request->name, why});
    return false;
  }
  return true;
}

RemoteReplyBlock Connection::replySender(remote::RequestId id) {
  {
    std::lock_guard lock(mutex_);
    ++outstanding_;
  }
  auto ticket = std::make_shared<Ticket>(shared_from_this());
  return [ticket, id](const std::string& message, const ErrorRef& error) {
    if (ticket->answered.exchange(true)) return;  // one request, one answer
    ticket->connection->queueReply(remote::Reply{id, message, error});
  };
}

void Connection::answered() {
  {
    std::lock_guard lock(mutex_);
    --outstanding_;
  }
  if (servingConnection != this) wake();
}

void Connection::queueReply(const remote::Reply& reply) {
  PlistRef value = remote::encodeReply(reply);
  std::optional<std::string> payload = plist::toCompactBinary(*value);
  std::optional<std::string> frame = payload ? remote::frameBytes(*payload) : std::nullopt;
  if (!frame) {
    systemlog::serviceLog(3, "Reply %@ to process %d could not be encoded",
                          {reply.id.description(), static_cast<int>(peer_.pid)});
  }
  {
    std::lock_guard lock(mutex_);
    --outstanding_;
    if (frame && !closed_) {
      unsentBytes_ += frame->size();
      outbox_.push_back(std::move(*frame));
      if (unsentBytes_ > kMaxUnsentReplyBytes) overflowed_ = true;
    }
  }
  // The serving thread looks at its queue before it waits again.
  if (servingConnection != this) wake();
}

bool Connection::flushReplies() {
  std::unique_lock lock(mutex_);
  while (!outbox_.empty()) {
    // The bytes stay in the queue while they are written: only this thread
    // removes them, so the lock need not be held during the call.
    const std::string& front = outbox_.front();
    const char* data = front.data() + sentOfFirst_;
    const size_t length = front.size() - sentOfFirst_;
    lock.unlock();
    ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    const int error = errno;
    lock.lock();
    if (n < 0) {
      if (error == EINTR) continue;
      // A peer that has gone simply misses its replies.
      return error == EAGAIN || error == EWOULDBLOCK;
    }
    if (closed_ || outbox_.empty()) return false;
    sentOfFirst_ += static_cast<size_t>(n);
    unsentBytes_ -= static_cast<size_t>(n);
    if (sentOfFirst_ == outbox_.front().size()) {
      outbox_.pop_front();
      sentOfFirst_ = 0;
    }
  }
  return true;
}

}  // namespace ostrakel
