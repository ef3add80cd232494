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
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Helper/HelperProtocol4Ostrakel.h"
#include "platform/RemoteClient.h"

using namespace ostrakel;

namespace {

std::string header(uint32_t length) {
  return std::string{static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                     static_cast<char>(length >> 8), static_cast<char>(length)};
}

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

  int fd = remote::connectToSocket(socketPath, why);
  if (fd < 0) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  if (mode == "exit-at-once") ::_exit(0);
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
    bytes = header(remote::kMaxFrameLength + 1) + std::string(64, 'x');
  } else if (mode == "truncated") {
    bytes = header(100) + "only a part";
  } else if (mode == "not-plist") {
    bytes = *remote::frameBytes("this is not a property list");
  } else if (mode == "wrong-shape") {
    bytes = frameOf(PlistValue::dictionary({{"id", PlistValue::string("one")}}));
  } else if (mode == "unknown-request") {
    bytes = frameOf(remote::Request{1, "makeCoffeeWithAuthorization:replyBlock:", {nullptr}});
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
