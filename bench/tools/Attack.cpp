// The memory attacks the service must withstand, for bench/run:
//   ostrakel-attack repeated-plist FILE
//       writes a ~110 KB binary property list: one array that refers 100,000
//       times to one 10 KB string (a gigabyte once expanded)
//   ostrakel-attack frame SOCKET FILE
//       sends FILE's bytes as one frame, then waits (up to 5 s) for the
//       service to close the connection
//   ostrakel-attack headers SOCKET N SECONDS
//       opens N connections that each send only a 1 MiB length header and
//       holds them open for SECONDS; prints how many were accepted
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/tools/Frames.h"
#include "platform/BigEndian.h"

using namespace ostrakel;

namespace {

std::string bigEndian(uint64_t value, unsigned width) {
  std::string s;
  bigendian::append(s, value, width);
  return s;
}

std::string repeatedPlist() {
  constexpr uint32_t kReferences = 100000;
  std::string out = "bplist00";
  const uint64_t arrayAt = out.size();
  out += "\xAF\x12" + bigEndian(kReferences, 4) + std::string(kReferences, '\x01');
  const uint64_t stringAt = out.size();
  out += "\x5F\x11" + bigEndian(10240, 2) + std::string(10240, 'a');
  const uint64_t table = out.size();
  out += bigEndian(arrayAt, 4) + bigEndian(stringAt, 4);
  out += std::string(6, '\0') + bigEndian(4, 1) + bigEndian(1, 1) + bigEndian(2, 8) + bigEndian(0, 8) +
         bigEndian(table, 8);
  return out;
}

int sendFrame(const std::string& socket, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string payload((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int fd = bench::connectTo(socket);
  if (fd < 0) return 1;
  bench::writeAll(fd, bigEndian(payload.size(), 4) + payload);
  pollfd p{fd, POLLIN, 0};
  char buffer[4096];
  while (poll(&p, 1, 5000) == 1 && read(fd, buffer, sizeof buffer) > 0) {
  }
  close(fd);
  return 0;
}

int holdHeaders(const std::string& socket, int count, int seconds) {
  std::vector<int> held;
  for (int i = 0; i < count; ++i) {
    int fd = bench::connectTo(socket);
    if (fd < 0) continue;
    if (bench::writeAll(fd, bigEndian(1024 * 1024, 4))) held.push_back(fd);
    else close(fd);
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  int open = 0;
  for (int fd : held) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) == 0) ++open;  // not closed by the service
    close(fd);
  }
  std::printf("connections %zu still_open %d\n", held.size(), open);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "repeated-plist" && argc == 3) {
    std::ofstream(argv[2], std::ios::binary) << repeatedPlist();
    return 0;
  }
  if (mode == "frame" && argc == 4) return sendFrame(argv[2], argv[3]);
  if (mode == "headers" && argc == 5) return holdHeaders(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  std::fprintf(stderr, "usage: ostrakel-attack repeated-plist FILE | frame SOCKET FILE | headers SOCKET N SECONDS\n");
  return 2;
}
