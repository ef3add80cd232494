// The remote-interface transport: a listener on the service's Unix stream
// socket and the connections it hands to its delegate. Each accepted
// connection delivers its requests one at a time on its own thread to the
// object it exports.
#pragma once

#include <atomic>
#include <deque>
#include <initializer_list>
#include <string_view>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Format.h"
#include "platform/RemotePeer.h"
#include "platform/RemoteWire.h"
#include "platform/UniqueFd.h"

namespace ostrakel {

// The reply callback of one request: a message and an error (none on success).
using RemoteReplyBlock = std::function<void(const std::string& message, const ErrorRef& error)>;

// What a connection exports: it receives each decoded request together with
// the reply callback that answers it. Returning false refuses the request
// (unknown name, arguments of the wrong kind) and closes the connection;
// `why` then says what was wrong.
class RemoteObject {
public:
  virtual ~RemoteObject() = default;
  virtual bool deliverRequest(const remote::Request& request, RemoteReplyBlock reply, std::string& why) = 0;
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
  // Takes ownership of a connected stream socket and captures its peer's
  // credentials and process identity; none when the socket has no peer
  // credentials or the peer's user already holds all the connections it may.
  static std::shared_ptr<Connection> fromSocket(int fd);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  pid_t processIdentifier() const { return peer_.pid; }
  const remote::PeerCredentials& peer() const { return peer_; }

  void setExportedObject(std::shared_ptr<RemoteObject> object);
  // Starts delivering requests on the connection's own thread.
  void resume();
  // Stops reading and writing; replies still pending go nowhere.
  void invalidate();

  // The reply callback for request `id`: usable from any thread, answers at
  // most once and never waits for the peer: the reply is queued and the
  // connection's own thread writes it. Nothing happens when the peer has gone.
  RemoteReplyBlock replySender(remote::RequestId id);

  // Whether the request that the calling thread is delivering right now is
  // the only one of its connection still unanswered: a reply given at once
  // then cannot overtake the reply of an earlier request. False outside a
  // delivery.
  static bool deliveringOnlyUnanswered();

private:
  struct Ticket;
  Connection(int fd, int wakeFd, remote::PeerCredentials peer);
  void serve();
  // Reads what arrived (with `wait`, waits for it) and delivers the whole
  // frames; false to close.
  bool readAndDeliver(remote::FrameReader& frames, bool& reading, bool wait);
  // Delivers the whole frames already read, as long as fewer than the most
  // requests allowed are in progress (`delivered` tells whether any was);
  // false to close.
  bool deliverBuffered(remote::FrameReader& frames, bool& delivered);
  // Writes the replies queued while delivering; false when the peer has gone.
  bool flushGivenReplies();
  bool deliver(const std::string& payload);
  // Writes queued replies until the socket would block; false when the peer
  // has gone.
  bool flushReplies();
  void queueReply(const remote::Reply& reply);
  void answered();
  void wake();
  void refuse(const std::string& why);

  const int fd_;
  const int wakeFd_;
  const remote::PeerCredentials peer_;
  std::shared_ptr<RemoteObject> exported_;
  std::atomic<bool> resumed_{false};

  std::mutex mutex_;
  std::deque<std::string> outbox_;  // encoded reply frames, oldest first
  size_t sentOfFirst_ = 0;          // bytes of outbox_.front() already written
  size_t unsentBytes_ = 0;
  int outstanding_ = 0;             // requests delivered and not yet answered
  bool overflowed_ = false;
  bool closed_ = false;
};

// Connections served at once: peers other than root share a ceiling, and each
// such user may hold only a few of them, so no user can lock the others out.
// Root's connections are counted apart and never refused because of others.
inline constexpr int kMaxConnections = 256;
inline constexpr int kMaxConnectionsPerUser = 16;
// A frame must be complete this long after its first byte arrived.
inline constexpr int kFrameDeadlineSeconds = 10;
// A peer whose unsent replies pass this size is not reading: it is closed.
inline constexpr size_t kMaxUnsentReplyBytes = 1u << 20;
// Beyond this many unsent bytes no more requests of the connection are read,
// and if the peer then reads nothing for a frame's deadline it is closed.
inline constexpr size_t kPauseReadingBytes = 64u << 10;
// Requests of one connection in progress at once; reading pauses beyond, so
// that one peer's pipelined requests cannot fill the main queue ahead of
// everybody else's.
inline constexpr int kMaxOutstandingRequests = 4;

// Writes a refusal line caused by a peer of user `uid`, within that user's
// log budget.
void logRefusal(uid_t uid, int32_t level, std::string_view format, std::initializer_list<FmtArg> args);

class Listener {
public:
  using Delegate = std::function<bool(Connection&)>;

  // A listener for the service `serviceName`, created stopped.
  explicit Listener(std::string serviceName);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // The socket path (inside the system root) of a service name.
  static std::string socketPathForService(const std::string& serviceName);

  // The delegate is not owned; it is asked about each new connection on the
  // listener's own thread.
  void setDelegate(Delegate delegate);
  // Binds the socket (or takes the one the service manager passed) and starts
  // accepting on the listener's thread. False, with a level-3 log line, when
  // there is nothing to listen on.
  bool resume();
  // Stops accepting and waits for the listener's thread.
  void invalidate();

  const std::string& serviceName() const { return serviceName_; }

private:
  void acceptLoop();
  bool bindSocket();

  std::string serviceName_;
  std::mutex delegateMutex_;
  Delegate delegate_;
  UniqueFd listenFd_;
  UniqueFd wakeRead_, wakeWrite_;  // a byte written wakes the accepting thread to stop
  std::string boundHostPath_;
  std::thread thread_;
};

}  // namespace ostrakel
