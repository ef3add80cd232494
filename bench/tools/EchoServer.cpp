// The floor for the service round trip: a Unix stream socket server that reads
// each frame (4-byte big-endian length, then the payload) and writes it back
// unchanged, one thread per connection, as the service serves connections.
//   ostrakel-echo-server SOCKET_PATH
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool readAll(int fd, char* data, size_t size) {
  while (size) {
    ssize_t n = read(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void serve(int fd) {
  std::string frame;
  unsigned char head[4];
  while (readAll(fd, reinterpret_cast<char*>(head), 4)) {
    uint32_t length = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
    if (length > (1u << 20)) break;
    frame.assign(reinterpret_cast<char*>(head), 4);
    frame.resize(4 + length);
    if (!readAll(fd, frame.data() + 4, length) || !writeAll(fd, frame.data(), frame.size())) break;
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ostrakel-echo-server SOCKET_PATH\n");
    return 2;
  }
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
  unlink(argv[1]);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 64) != 0) {
    std::perror("ostrakel-echo-server");
    return 1;
  }
  while (true) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) std::thread(serve, fd).detach();
  }
}
