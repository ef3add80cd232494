// The remote-interface transport: a listener on the service's Unix stream
// socket and the connections it hands to its delegate. Each accepted
// connection delivers its requests one at a time on its own thread to the
// object it exports.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/RemotePeer.h"
#include "platform/RemoteWire.h"

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
  // Takes ownership of a connected stream socket and reads its peer's
  // credentials; none when the socket has no peer credentials.
  static std::shared_ptr<Connection> fromSocket(int fd);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  pid_t processIdentifier() const { return peer_.pid; }
  const remote::PeerCredentials& peer() const { return peer_; }

  void setExportedObject(std::shared_ptr<RemoteObject> object);
  // Starts delivering requests on the connection's own thread.
  void resume();
  // Stops reading; replies still pending go nowhere.
  void invalidate();

  // The reply callback for request `id`: usable from any thread, sends at most
  // once, and does nothing when the peer has gone.
  RemoteReplyBlock replySender(remote::RequestId id);

private:
  Connection(int fd, remote::PeerCredentials peer);
  void serve();
  bool sendReply(const remote::Reply& reply);

  const int fd_;
  const remote::PeerCredentials peer_;
  std::shared_ptr<RemoteObject> exported_;
  std::mutex writeMutex_;
  std::atomic<bool> resumed_{false};
};

// The process-wide limit of connections served at once; further ones are
// refused at once so a flood cannot exhaust the service's threads.
inline constexpr int kMaxConnections = 256;

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
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::string boundHostPath_;
  std::thread thread_;
};

// Connections currently being served (for the flood limit and for tests).
int activeConnectionCount();

}  // namespace ostrakel
