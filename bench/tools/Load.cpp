// Drives the service (or the echo server) from many connections at once:
//   ostrakel-load --socket PATH [--clients N] [--requests M] [--mix KIND]
//                 [--bundle PATH]... [--arch ARCH] [--seed S]
// KIND: version (the version request), activate (activation of the first
// bundle; a skipped one when that bundle is already active), activations
// (random activations across the bundles), mixed (random activations, context
// repairs and version requests).
// Each client sends one request, waits for its reply and checks it: a
// dictionary with the request's id and a message string. After its last
// request a client waits a moment to be sure no stray reply follows.
// Prints: requests, replies, done/skipped/failed counts, median, p99 and mean
// round trip in microseconds, wall seconds. Exits 1 on any protocol fault.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/tools/Frames.h"
#include "platform/FileURL.h"

using namespace ostrakel;

namespace {

struct Options {
  std::string socket;
  int clients = 16;
  int requests = 100;
  std::string mix = "version";
  std::vector<std::string> bundles;
  std::string arch = "x86_64";
  unsigned seed = 1;
};

struct Totals {
  std::mutex mutex;
  std::vector<double> roundTrips;
  long replies = 0, done = 0, skipped = 0, failed = 0;
  std::atomic<int> faults{0};
};

void fault(Totals& totals, const std::string& what) {
  std::fprintf(stderr, "ostrakel-load: %s\n", what.c_str());
  ++totals.faults;
}

PlistRef request(const Options& options, std::mt19937& random, int64_t id) {
  std::string kind = options.mix;
  if (kind == "mixed") {
    unsigned pick = random() % 5;
    kind = pick < 3 ? "activate-any" : pick == 3 ? "fix-context" : "version";
  }
  if (kind == "version") return bench::requestDictionary(id, "getVersionWithAuthorization:replyBlock:", {}, 1);
  if (kind == "activations") kind = "activate-any";
  if (kind == "fix-context") return bench::requestDictionary(id, "fixContextWithAuthorization:replyBlock:", {}, 1);
  size_t which = kind == "activate-any" ? random() % options.bundles.size() : 0;
  return bench::requestDictionary(id, "activateBridgeAtURL:architectureSource:withAuthorization:replyBlock:",
                                  {PlistValue::string(FileURL{options.bundles[which]}.absoluteString()),
                                   PlistValue::string(options.arch)},
                                  3);
}

void client(const Options& options, int index, Totals& totals) {
  int fd = bench::connectTo(options.socket);
  if (fd < 0) return fault(totals, "cannot connect to " + options.socket);
  std::mt19937 random(options.seed * 7919u + static_cast<unsigned>(index));
  std::vector<double> mine;
  long replies = 0, done = 0, skipped = 0, failed = 0;
  for (int i = 0; i < options.requests; ++i) {
    int64_t id = int64_t{index} * 1000000 + i;
    std::string frame = bench::frame(request(options, random, id));
    auto start = std::chrono::steady_clock::now();
    std::string payload;
    if (!bench::writeAll(fd, frame) || !bench::readFrame(fd, payload)) {
      fault(totals, "connection lost at request " + std::to_string(id));
      break;
    }
    mine.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    PlistRef reply = plist::parse(payload);
    PlistRef replyId = reply ? reply->get("id") : nullptr;
    if (!replyId || !replyId->asInteger() || *replyId->asInteger() != id) {
      fault(totals, "reply does not answer request " + std::to_string(id));
      continue;
    }
    ++replies;
    PlistRef message = reply->get("message");
    if (!message || !message->asString()) continue;  // the echo carries none
    const std::string& text = *message->asString();
    if (text.find("skipped") != std::string::npos) ++skipped;
    else if (text.find("FAILED") != std::string::npos) ++failed;
    else ++done;
  }
  // Exactly one reply per request: nothing more may arrive.
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 200) > 0 && (p.revents & POLLIN)) {
    char byte;
    if (recv(fd, &byte, 1, MSG_DONTWAIT) > 0) fault(totals, "a reply came that no request asked for");
  }
  close(fd);
  std::lock_guard lock(totals.mutex);
  totals.roundTrips.insert(totals.roundTrips.end(), mine.begin(), mine.end());
  totals.replies += replies;
  totals.done += done;
  totals.skipped += skipped;
  totals.failed += failed;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i], value = argv[i + 1];
    if (opt == "--socket") options.socket = value;
    else if (opt == "--clients") options.clients = std::max(1, std::atoi(value.c_str()));
    else if (opt == "--requests") options.requests = std::max(1, std::atoi(value.c_str()));
    else if (opt == "--mix") options.mix = value;
    else if (opt == "--bundle") options.bundles.push_back(value);
    else if (opt == "--arch") options.arch = value;
    else if (opt == "--seed") options.seed = static_cast<unsigned>(std::atoi(value.c_str()));
  }
  if (options.socket.empty() || (options.mix != "version" && options.bundles.empty())) {
    std::fprintf(stderr, "usage: ostrakel-load --socket PATH [--clients N] [--requests M] "
                         "[--mix version|activate|activations|mixed] [--bundle PATH]... [--arch ARCH]\n");
    return 2;
  }
  Totals totals;
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < options.clients; ++i) threads.emplace_back(client, std::cref(options), i, std::ref(totals));
  for (std::thread& t : threads) t.join();
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<double>& rt = totals.roundTrips;
  std::sort(rt.begin(), rt.end());
  double mean = 0;
  for (double v : rt) mean += v;
  mean = rt.empty() ? 0 : mean / static_cast<double>(rt.size());
  auto at = [&](double q) { return rt.empty() ? 0.0 : rt[std::min(rt.size() - 1, static_cast<size_t>(q * static_cast<double>(rt.size())))]; };
  long expected = long{options.clients} * options.requests;
  std::printf("requests %ld replies %ld done %ld skipped %ld failed %ld median_us %.1f p99_us %.1f mean_us %.1f wall_s %.3f\n",
              expected, totals.replies, totals.done, totals.skipped, totals.failed, at(0.5), at(0.99), mean, wall);
  if (totals.faults || totals.replies != expected) return 1;
  return 0;
}
