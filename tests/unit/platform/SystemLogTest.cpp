// The system log's datagrams, the diagnostic line, and the main queue that
// the logger's deferred lines run on.
#include <gtest/gtest.h>

#include <sys/syscall.h>

#include <atomic>
#include <map>
#include <regex>
#include <thread>

#include "platform/Assertion.h"
#include "platform/Localization.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"
#include "platform/SystemLog.h"
#include "CaptureFd.h"
#include "TestRoot.h"

using namespace ostrakel;

TEST(SystemLog, DatagramsHaveTheClassicForm) {
  testkit::TestRoot root;
  ASSERT_TRUE(root.listenOnDevLog());
  systemlog::Client client("brennick.Helper");
  client.send(6, "Logger started");
  client.send(42, "clamped");
  auto datagram = root.nextDatagram();
  ASSERT_TRUE(datagram);
  std::regex form(R"(<30>(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d \d\d:\d\d:\d\d brennick\.Helper\[(\d+)\]: Logger started)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(*datagram, match, form)) << *datagram;
  EXPECT_EQ(match[2], std::to_string(::getpid()));
  EXPECT_TRUE(root.nextDatagram()->starts_with("<31>"));
}

TEST(SystemLog, NothingListeningDropsSilently) {
  testkit::TestRoot root;  // no /dev/log at all
  systemlog::Client client("brennick.Helper");
  for (int i = 0; i < 100; ++i) client.send(3, "lost");
  systemlog::sendDefault(3, "lost too");
  // Once a log daemon listens, the next message reaches it and none of the
  // dropped ones were kept back.
  ASSERT_TRUE(root.listenOnDevLog());
  client.send(3, "found");
  auto datagram = root.nextDatagram();
  ASSERT_TRUE(datagram);
  EXPECT_TRUE(datagram->ends_with(": found")) << *datagram;
}

TEST(SystemLog, ConcurrentSendersLoseNothing) {
  testkit::TestRoot root;
  ASSERT_TRUE(root.listenOnDevLog());
  systemlog::Client client("brennick.Helper");
  constexpr int kThreads = 8, kEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) client.send(6, "t" + std::to_string(t) + " m" + std::to_string(i));
    });
  std::map<std::string, int> seen;
  for (int i = 0; i < kThreads * kEach; ++i) {
    auto text = root.nextText();
    ASSERT_TRUE(text);
    ++seen[*text];
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(SystemLog, DiagnosticLineGoesToStandardErrorAndTheLog) {
  testkit::TestRoot root;
  ASSERT_TRUE(root.listenOnDevLog());
  testkit::CaptureFd err(STDERR_FILENO);
  systemlog::diagnosticLog("LOGGER STARTED (NSLog)");
  std::string line = err.text();
  std::regex form(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ([^\[]+)\[(\d+):(\d+)\] LOGGER STARTED \(NSLog\)\n)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(line, match, form)) << line;
  EXPECT_EQ(match[1], processinfo::processName());
  EXPECT_EQ(match[2], std::to_string(::getpid()));
  EXPECT_EQ(match[3], std::to_string(::syscall(SYS_gettid)));
  auto datagram = root.nextDatagram();
  ASSERT_TRUE(datagram);
  EXPECT_TRUE(datagram->starts_with("<28>")) << *datagram;
  EXPECT_TRUE(datagram->ends_with("]: LOGGER STARTED (NSLog)")) << *datagram;
}

TEST(MainQueue, JobsRunInOrderAndSurviveAThrowingJob) {
  std::vector<int> order;
  mainqueue::post([&] { order.push_back(1); });
  mainqueue::post([&] {
    order.push_back(2);
    mainqueue::post([&] { order.push_back(4); });  // queued by a job: runs in the same drain
  });
  mainqueue::post([] { throw std::runtime_error("job failed"); });
  mainqueue::post([&] { order.push_back(3); });
  mainqueue::drain();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(MainQueue, JobsPostedFromOtherThreadsAllRun) {
  std::atomic<int> ran{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) mainqueue::post([&] { ++ran; });
    });
  for (auto& thread : threads) thread.join();
  mainqueue::drain();
  EXPECT_EQ(ran.load(), 400);
}

TEST(Localization, TextsWithoutCatalogueComeBackUnchanged) {
  for (std::string text : {"Failed to activate a distibution", "", "50% %@", "\xFF\xFE"})
    EXPECT_EQ(localizedString("brennick.Helper", text), text);
  std::string withNul("a\0b", 3);
  EXPECT_EQ(localizedString("brennick.Helper", withNul), withNul);
}

TEST(Assertion, InvalidParameterCarriesConditionFileAndLine) {
  try {
    invalidParameter("rhs", "Library/SystemVersion", 63);
    FAIL() << "no exception";
  } catch (const InternalInconsistencyException& e) {
    EXPECT_EQ(e.description(), "Invalid parameter not satisfying: rhs");
    EXPECT_STREQ(e.what(), "Invalid parameter not satisfying: rhs");
    EXPECT_EQ(e.file(), "Library/SystemVersion");
    EXPECT_EQ(e.line(), 63);
  }
}
