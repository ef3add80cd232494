// Times two commands side by side, as whole processes, A B A B ...:
//   ostrakel-compare [-n RUNS] [-w WARMUP] -a 'CMD' [-a 'CMD' ...] -b 'CMD' [-b 'CMD' ...]
// Several -a (or -b) commands are used in turn (run i takes the i-th modulo
// their number), so that a switch back and forth is timed as one series.
// Command strings are split at spaces (no quoting); output goes to /dev/null.
// Prints one line: median processor ms (user + system) of A, of B, the median
// of their pairwise ratios A/B, then the same three for wall time, and A's
// largest peak resident size in KiB. Processor time is the steadier figure
// on a shared machine; wall time is what a user waits.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Run {
  double ms = 0;
  double cpuMs = 0;
  long maxRssKiB = 0;
};

Run runOnce(const std::string& command) {
  std::vector<std::string> words;
  std::istringstream split(command);
  for (std::string w; split >> w;) words.push_back(w);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "ostrakel-compare: '%s' failed (status %d)\n", command.c_str(), status);
    std::exit(1);
  }
  auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  return {std::chrono::duration<double, std::milli>(end - start).count(), ms(usage.ru_utime) + ms(usage.ru_stime),
          usage.ru_maxrss};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10, warmup = 1;
  std::vector<std::string> a, b;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string opt = argv[i];
    if (opt == "-n") runs = std::max(1, std::atoi(argv[i + 1]));
    else if (opt == "-w") warmup = std::max(0, std::atoi(argv[i + 1]));
    else if (opt == "-a") a.push_back(argv[i + 1]);
    else if (opt == "-b") b.push_back(argv[i + 1]);
  }
  if (a.empty() || b.empty()) {
    std::fprintf(stderr, "usage: ostrakel-compare [-n RUNS] [-w WARMUP] -a CMD... -b CMD...\n");
    return 2;
  }
  std::vector<double> ta, tb, ratios, ca, cb, cpuRatios;
  long rss = 0;
  for (int i = 0; i < warmup + runs; ++i) {
    Run ra = runOnce(a[static_cast<size_t>(i) % a.size()]);
    Run rb = runOnce(b[static_cast<size_t>(i) % b.size()]);
    if (i < warmup) continue;
    ta.push_back(ra.ms);
    tb.push_back(rb.ms);
    ratios.push_back(ra.ms / rb.ms);
    ca.push_back(ra.cpuMs);
    cb.push_back(rb.cpuMs);
    cpuRatios.push_back(ra.cpuMs / std::max(rb.cpuMs, 0.001));
    rss = std::max(rss, ra.maxRssKiB);
  }
  std::printf("%.3f %.3f %.3f %.3f %.3f %.3f %ld\n", median(ca), median(cb), median(cpuRatios), median(ta), median(tb),
              median(ratios), rss);
  return 0;
}
