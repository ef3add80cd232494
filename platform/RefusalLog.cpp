#include "platform/RefusalLog.h"

#include <chrono>
#include <map>
#include <mutex>

namespace ostrakel::refusallog {

namespace {

using Clock = std::chrono::steady_clock;

struct Budget {
  Clock::time_point windowStart;
  int written = 0;
  long suppressed = 0;
};

std::mutex gMutex;
std::map<uid_t, Budget> gBudgets;

std::string summaryLine(uid_t uid, long count) {
  return std::to_string(count) + " refusal line(s) for user " + std::to_string(uid) + " suppressed";
}

}  // namespace

bool admit(uid_t uid, std::string& summary) {
  summary.clear();
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(gMutex);
  Budget& budget = gBudgets[uid];
  if (now - budget.windowStart >= std::chrono::seconds(1)) {
    budget.windowStart = now;
    budget.written = 0;
    if (budget.suppressed) summary = summaryLine(uid, budget.suppressed);
    budget.suppressed = 0;
  }
  if (budget.written >= kLinesPerSecond) {
    ++budget.suppressed;
    return false;
  }
  ++budget.written;
  return true;
}

std::vector<std::string> takeSummaries() {
  std::vector<std::string> lines;
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(gMutex);
  for (auto it = gBudgets.begin(); it != gBudgets.end();) {
    Budget& budget = it->second;
    if (now - budget.windowStart < std::chrono::seconds(1)) {
      ++it;
      continue;
    }
    if (budget.suppressed) lines.push_back(summaryLine(it->first, budget.suppressed));
    // A quiet user's budget is forgotten, so the table stays small.
    it = gBudgets.erase(it);
  }
  return lines;
}

}  // namespace ostrakel::refusallog
