#include "platform/MainQueue.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>

#include "platform/SystemLog.h"

namespace ostrakel::mainqueue {

namespace {

struct Queue {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::function<void()>> jobs;
};

Queue& queue() {
  static Queue instance;
  return instance;
}

// A job that throws must not end the loop that serves every later job.
void runJob(const std::function<void()>& job) {
  try {
    if (job) job();
  } catch (const std::exception& e) {
    systemlog::sendDefault(3, std::string("Main queue job failed: ") + e.what());
  } catch (...) {
    systemlog::sendDefault(3, "Main queue job failed");
  }
}

}  // namespace

void post(std::function<void()> job) {
  Queue& q = queue();
  {
    std::lock_guard lock(q.mutex);
    q.jobs.push_back(std::move(job));
  }
  q.ready.notify_one();
}

void runForever() {
  Queue& q = queue();
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(q.mutex);
      q.ready.wait(lock, [&] { return !q.jobs.empty(); });
      job = std::move(q.jobs.front());
      q.jobs.pop_front();
    }
    runJob(job);
  }
}

void drain() {
  Queue& q = queue();
  for (;;) {
    std::function<void()> job;
    {
      std::lock_guard lock(q.mutex);
      if (q.jobs.empty()) return;
      job = std::move(q.jobs.front());
      q.jobs.pop_front();
    }
    runJob(job);
  }
}

}  // namespace ostrakel::mainqueue
