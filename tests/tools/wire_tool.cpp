// Speaks the service's wire format badly on purpose, for the end-to-end tests
// of the service's fault handling.
//   ostrakel-wire-tool SOCKET MODE [N]
// Modes that send one bad message and expect the service to close the
// connection without a reply (prints "closed", exit 0; "reply" exits 1):
//   too-long truncated not-plist wrong-shape unknown-request wrong-kind
// Other modes:
//   leave-before-reply   sends a request and disconnects at once
//   exit-at-once         connects and exits at once
//   many N               N connections at once, each asking the version;
//                        prints "N replies" when every one answered "271"
//   ask FILE             sends the request dictionary of the property-list
//                        file FILE as it stands (ids, absent arguments and
//                        all) and prints the reply dictionary as XML
//   hold N SECONDS       opens N connections, each sending only a header that
//                        announces 1 MiB and a few bytes; prints "held K" for
//                        the K the service kept, then, after SECONDS, "open K"
//                        for those it has not closed meanwhile
//   no-read              sends version requests and never reads a reply;
//                        prints "closed after N" once the service gives up
//   half-close           sends a version request and a fix-context request
//                        with a bogus authorization form, shuts its writing
//                        side and prints "N replies" for what arrives
//   forged-name          asks for a request whose name holds a line end
//   flood N              N connections one after the other, each with a bad
//                        frame
//   reused-pid UID       (as root) a process of user UID connects, hands its
//                        socket to its child and exits; its pid is given to a
//                        new process of that user, and the child asks for
//                        fix-context with that new process's form; prints the
//                        reply's message and underlying error code
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Authorization.h"
#include "platform/RemoteListener.h"

#include "Helper/HelperProtocol4Ostrakel.h"
#include "platform/RemoteClient.h"
#include "tests/support/BadPeers.h"

using namespace ostrakel;

namespace {

std::string frameOf(const PlistRef& value) { return *remote::frameBytes(*plist::toBinary(*value)); }

std::string frameOf(const remote::Request& request) { return frameOf(remote::encodeRequest(request)); }

// Waits (at most 20 s) for the service to close the connection.
int expectClosed(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 20000) != 1) {
    std::puts("timeout");
    return 1;
  }
  std::string payload;
  remote::FrameStatus status = remote::readFrame(fd, payload);
  std::puts(status == remote::FrameStatus::ok ? "reply" : "closed");
  return status == remote::FrameStatus::ok ? 1 : 0;
}

bool closedByService(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) != 1) return false;
  char byte;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

std::optional<remote::Reply> readReply(int fd) {
  std::string payload, why;
  if (remote::readFrame(fd, payload) != remote::FrameStatus::ok) return std::nullopt;
  return remote::decodeReply(plist::parse(payload), why);
}

void becomeUser(uid_t uid) {
  if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0) {
    std::perror("cannot become the test user");
    ::_exit(3);
  }
}

int reusedPid(const std::string& socketPath, uid_t uid) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return 2;
    pid_t first = ::fork();
    if (first == 0) {
      ::close(toChild[1]);
      ::close(fromChild[0]);
      becomeUser(uid);
      std::string why;
      int fd = remote::connectToSocket(socketPath, why);
      if (fd < 0) ::_exit(2);
      // One answered request first: the service has accepted the connection
      // while this process was alive.
      remote::writeAll(fd, frameOf(remote::Request{0, requestnames::kGetVersion, {nullptr}}));
      if (!readReply(fd)) ::_exit(2);
      if (::fork() == 0) {
        // The child keeps the socket and waits for the form to send.
        char form[32];
        if (::read(toChild[0], form, sizeof form) != sizeof form) ::_exit(0);
        remote::writeAll(fd, frameOf(remote::Request{1, requestnames::kFixContext,
                                                     {PlistValue::data(std::string(form, sizeof form))}}));
        std::optional<remote::Reply> reply = readReply(fd);
        std::string text = reply ? reply->message : "no reply";
        if (reply && reply->error && reply->error->userInfo.underlying)
          text += " " + std::to_string(reply->error->userInfo.underlying->code);
        text += "\n";
        (void)!::write(fromChild[1], text.data(), text.size());
        ::_exit(0);
      }
      ::_exit(0);  // the process the service saw connect is gone
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    int status;
    ::waitpid(first, &status, 0);
    // Hand the pid to a new process of the same user.
    std::ofstream("/proc/sys/kernel/ns_last_pid") << first - 1 << std::flush;
    pid_t holder = ::fork();
    if (holder == 0) {
      becomeUser(uid);
      ::pause();
      ::_exit(0);
    }
    if (holder != first) {
      ::kill(holder, SIGKILL);
      ::waitpid(holder, &status, 0);
      ::close(toChild[1]);  // lets that child go; try again
      ::close(fromChild[0]);
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the holder runs as the user now
    std::optional<uint64_t> start = authorization::processStartTime(holder);
    std::string form = authorization::externalForm({holder, uid, start.value_or(0)});
    (void)!::write(toChild[1], form.data(), form.size());
    char line[256];
    ssize_t n = ::read(fromChild[0], line, sizeof line - 1);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, &status, 0);
    std::fwrite(line, 1, n > 0 ? static_cast<size_t>(n) : 0, stdout);
    return 0;
  }
  std::puts("pid not reused");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SOCKET MODE [N]\n", argv[0]);
    return 2;
  }
  const std::string socketPath = argv[1];
  const std::string mode = argv[2];
  std::string why;
  if (mode == "many") {
    int count = argc > 3 ? std::atoi(argv[3]) : 50;
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      int fd = remote::connectToSocket(socketPath, why);
      if (fd < 0) {
        std::fprintf(stderr, "connection %d: %s\n", i, why.c_str());
        return 1;
      }
      fds.push_back(fd);
    }
    for (int i = 0; i < count; ++i)
      remote::writeAll(fds[i], frameOf(remote::Request{i, requestnames::kGetVersion, {nullptr}}));
    int good = 0;
    for (int i = 0; i < count; ++i) {
      std::string payload;
      if (remote::readFrame(fds[i], payload) == remote::FrameStatus::ok) {
        std::optional<remote::Reply> reply = remote::decodeReply(plist::parse(payload), why);
        if (reply && reply->id == i && reply->message == "271") ++good;
      }
      ::close(fds[i]);
    }
    std::printf("%d replies\n", good);
    return good == count ? 0 : 1;
  }

  if (mode == "hold") {
    const int count = argc > 3 ? std::atoi(argv[3]) : 16;
    const int seconds = argc > 4 ? std::atoi(argv[4]) : 1;
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
      int fd = remote::connectToSocket(socketPath, why);
      if (fd < 0) continue;
      remote::writeAll(fd, testkit::frameHeader(remote::kMaxFrameLength) + "0123456789");
      fds.push_back(fd);
    }
    auto open = [&] {
      int n = 0;
      for (int fd : fds) n += closedByService(fd) ? 0 : 1;
      return n;
    };
    // A busy service may take a moment to refuse the ones beyond its limit.
    for (int i = 0; i < 50 && open() > kMaxConnectionsPerUser; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("held %d\n", open());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::printf("open %d\n", open());
    return 0;
  }
  if (mode == "flood") {
    const int count = argc > 3 ? std::atoi(argv[3]) : 100;
    for (int i = 0; i < count; ++i) {
      int fd = remote::connectToSocket(socketPath, why);
      if (fd < 0) return 2;
      remote::writeAll(fd, *remote::frameBytes("this is not a property list"));
      std::string payload;
      remote::readFrame(fd, payload);
      ::close(fd);
    }
    return 0;
  }
  if (mode == "reused-pid") return reusedPid(socketPath, static_cast<uid_t>(argc > 3 ? std::atoi(argv[3]) : 65534));

  int fd = remote::connectToSocket(socketPath, why);
  if (fd < 0) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  if (mode == "exit-at-once") ::_exit(0);
  if (mode == "no-read") {
    const std::string frame = frameOf(remote::Request{1, requestnames::kGetVersion, {nullptr}});
    const testkit::FloodOutcome outcome =
        testkit::sendWithoutReading(fd, frame, std::chrono::steady_clock::now() + std::chrono::seconds(60));
    std::printf(outcome.closed ? "closed after %ld\n" : "still open after %ld\n", outcome.sent);
    return 0;
  }
  if (mode == "half-close") {
    remote::writeAll(fd, frameOf(remote::Request{1, requestnames::kGetVersion, {nullptr}}));
    remote::writeAll(fd, frameOf(remote::Request{2, requestnames::kFixContext,
                                                 {PlistValue::data(std::string(32, '\1'))}}));
    ::shutdown(fd, SHUT_WR);
    int replies = 0;
    while (readReply(fd)) ++replies;
    std::printf("%d replies\n", replies);
    return 0;
  }
  if (mode == "leave-before-reply") {
    remote::writeAll(fd, frameOf(remote::Request{1, requestnames::kFixContext,
                                                 {PlistValue::data(std::string(32, '\1'))}}));
    ::close(fd);
    return 0;
  }
  if (mode == "ask" && argc > 3) {
    std::FILE* file = std::fopen(argv[3], "rb");
    std::string text;
    char buffer[4096];
    for (size_t n; file && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    if (file) std::fclose(file);
    PlistRef request = plist::parse(text);
    if (!request) {
      std::fprintf(stderr, "%s is no property list\n", argv[3]);
      return 2;
    }
    remote::writeAll(fd, frameOf(request));
    std::string payload;
    if (remote::readFrame(fd, payload) != remote::FrameStatus::ok) {
      std::puts("closed");
      return 1;
    }
    PlistRef reply = plist::parse(payload);
    std::optional<std::string> xml = reply ? plist::toXML(*reply) : std::nullopt;
    std::fputs(xml ? xml->c_str() : "unreadable reply\n", stdout);
    return xml ? 0 : 1;
  }
  std::string bytes;
  if (mode == "too-long") {
    bytes = testkit::frameHeader(remote::kMaxFrameLength + 1) + std::string(64, 'x');
  } else if (mode == "truncated") {
    bytes = testkit::frameHeader(100) + "only a part";
  } else if (mode == "not-plist") {
    bytes = *remote::frameBytes("this is not a property list");
  } else if (mode == "wrong-shape") {
    bytes = frameOf(PlistValue::dictionary({{"id", PlistValue::string("one")}}));
  } else if (mode == "unknown-request") {
    bytes = frameOf(remote::Request{1, "makeCoffeeWithAuthorization:replyBlock:", {nullptr}});
  } else if (mode == "forged-name") {
    bytes = frameOf(remote::Request{1, "makeCoffee\n<27>Dec  9 00:00:00 sshd[1]: forged\x01", {nullptr}});
  } else if (mode == "wrong-kind") {
    bytes = frameOf(remote::Request{1, requestnames::kFixVelmarmgr, {PlistValue::integer(7), nullptr}});
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  remote::writeAll(fd, bytes);
  if (mode == "truncated") ::shutdown(fd, SHUT_WR);
  return expectClosed(fd);
}
