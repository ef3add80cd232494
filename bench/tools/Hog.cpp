// Plays the user who wants the service for itself, for the fairness figures:
//   ostrakel-hog --socket PATH hold N SECONDS
//       opens N connections, each sending only a header that announces 1 MiB,
//       and keeps them for SECONDS
//   ostrakel-hog --socket PATH no-read N SECONDS
//       N peers send version requests as fast as they can and never read,
//       for SECONDS (a peer the service closes connects again)
// Prints what it held or sent.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/tools/Frames.h"
#include "tests/support/BadPeers.h"

using namespace ostrakel;

int main(int argc, char** argv) {
  if (argc != 6 || std::string(argv[1]) != "--socket") {
    std::fprintf(stderr, "usage: ostrakel-hog --socket PATH hold|no-read N SECONDS\n");
    return 2;
  }
  const std::string socket = argv[2], mode = argv[3];
  const int count = std::atoi(argv[4]);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[5]));
  if (mode == "hold") {
    std::vector<int> fds;
    const std::string header{'\x00', '\x10', '\x00', '\x00', 'x'};
    for (int i = 0; i < count; ++i) {
      int fd = bench::connectTo(socket);
      if (fd >= 0 && bench::writeAll(fd, header)) fds.push_back(fd);
    }
    std::printf("connected %zu\n", fds.size());
    std::fflush(stdout);
    std::this_thread::sleep_until(until);
    return 0;
  }
  std::atomic<long> sent{0}, reconnects{0};
  const std::string frame =
      bench::frame(bench::requestDictionary(1, "getVersionWithAuthorization:replyBlock:", {}, 1));
  std::vector<std::thread> peers;
  for (int i = 0; i < count; ++i) {
    peers.emplace_back([&] {
      while (std::chrono::steady_clock::now() < until) {
        int fd = bench::connectTo(socket);
        if (fd < 0) return;
        sent += testkit::sendWithoutReading(fd, frame, until).sent;
        ::close(fd);
        ++reconnects;
      }
    });
  }
  for (std::thread& t : peers) t.join();
  std::printf("sent %ld connections %ld\n", sent.load(), reconnects.load());
  return 0;
}
