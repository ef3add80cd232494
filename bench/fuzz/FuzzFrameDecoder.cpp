// Fuzzes the service's side of the wire: the input is what a client sends on
// its connection. Frames are read off a real socket until the stream ends or
// is refused; each payload is parsed as a property list and checked as a
// request, a reply and an error. A request that passes the check must come
// back unchanged from encoding and decoding again.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/RemoteWire.h"

using namespace ostrakel;

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
  // The writer runs beside the reader so that inputs larger than the socket
  // buffer cannot block; closing its end marks the end of the stream.
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::thread writer([&] {
    remote::writeAll(fds[1], bytes);
    shutdown(fds[1], SHUT_WR);
  });
  std::string payload;
  int frames = 0;
  while (remote::readFrame(fds[0], payload) == remote::FrameStatus::ok) {
    require(payload.size() <= remote::kMaxFrameLength, "no frame beyond the limit is accepted");
    ++frames;
    PlistRef value = plist::parse(payload);
    if (!value) continue;
    std::string why;
    if (std::optional<remote::Request> request = remote::decodeRequest(value, why)) {
      PlistRef again = remote::encodeRequest(*request);
      std::optional<remote::Request> back = remote::decodeRequest(again, why);
      require(back.has_value(), "an encoded request decodes");
      require(back->id == request->id && back->name == request->name, "a request survives a round trip");
      require(back->arguments.size() == request->arguments.size(), "arguments survive a round trip");
      for (size_t i = 0; i < back->arguments.size(); ++i)
        require((back->arguments[i] == nullptr) == (request->arguments[i] == nullptr),
                "absent arguments stay absent");
    }
    if (std::optional<remote::Reply> reply = remote::decodeReply(value, why)) {
      PlistRef again = remote::encodeReply(*reply);
      require(remote::decodeReply(again, why).has_value(), "an encoded reply decodes");
    }
    (void)remote::decodeError(value);
  }
  // Drain what the reader refused so that the writer can finish.
  char sink[4096];
  while (read(fds[0], sink, sizeof sink) > 0) {
  }
  writer.join();
  close(fds[0]);
  close(fds[1]);
  (void)frames;
  return 0;
}
