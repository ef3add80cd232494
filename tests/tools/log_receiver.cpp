// Listens on a datagram socket standing for a system root's /dev/log and
// appends every datagram received, one per line, to a file. Ends once no
// datagram came for the quiet period after the first one (or 60 s without
// any), or when terminated.
//   ostrakel-log-receiver SOCKET OUTPUT [QUIET_MS]
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SOCKET OUTPUT [QUIET_MS]\n", argv[0]);
    return 2;
  }
  int quietMs = argc > 3 ? std::atoi(argv[3]) : 5000;
  std::FILE* out = std::fopen(argv[2], "ab");
  int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (!out || fd < 0 || std::strlen(argv[1]) >= sizeof address.sun_path) {
    std::perror("log receiver");
    return 1;
  }
  std::strcpy(address.sun_path, argv[1]);
  ::unlink(argv[1]);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::perror("bind");
    return 1;
  }
  static char buffer[70000];
  bool received = false;
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, received ? quietMs : 60000) != 1) break;
    received = true;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0) break;
    std::fwrite(buffer, 1, static_cast<size_t>(n), out);
    std::fputc('\n', out);
    std::fflush(out);
  }
  ::unlink(argv[1]);
  return 0;
}
