// The listener and its connections in process: requests and replies through
// a real socket, refusals that close one connection only, and peers that go.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "Helper/Helper4Ostrakel.h"
#include "Helper/HelperProtocol4Ostrakel.h"
#include "platform/FileURL.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"
#include "platform/RemoteClient.h"
#include "platform/RemoteListener.h"
#include "platform/SystemRoot.h"
#include "tests/support/TempRoot.h"
#include "tests/support/BadPeers.h"
#include "tests/support/RequestDoubles.h"

using namespace ostrakel;

namespace {

class ListenerTest : public ::testing::Test {
protected:
  void SetUp() override {
    processinfo::setArguments({"brennick.Helper", "--launch-service", "--version", "271"});
    helper = Helper4Ostrakel::init();
    ASSERT_TRUE(helper->listener()->resume());
    socketPath = systemroot::toHost(Listener::socketPathForService(kServiceName));
  }
  void TearDown() override {
    helper->listener()->invalidate();
    mainqueue::drain();
  }

  int connect() {
    std::string why;
    int fd = remote::connectToSocket(socketPath, why);
    EXPECT_GE(fd, 0) << why;
    return fd;
  }
  void send(int fd, const remote::Request& request) {
    std::optional<std::string> payload = plist::toBinary(*remote::encodeRequest(request));
    ASSERT_TRUE(payload);
    ASSERT_TRUE(remote::writeAll(fd, *remote::frameBytes(*payload)));
  }
  // Serves the main queue until `fd` has something to read, then reads one
  // frame: a reply, or none when the service closed the connection.
  std::optional<remote::Reply> awaitReply(int fd) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      mainqueue::drain();
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 20) == 1) break;
    }
    std::string payload;
    if (remote::readFrame(fd, payload) != remote::FrameStatus::ok) return std::nullopt;
    std::string why;
    return remote::decodeReply(plist::parse(payload), why);
  }
  std::optional<remote::Reply> versionOver(int fd, int64_t id) {
    send(fd, {id, requestnames::kGetVersion, {nullptr}});
    return awaitReply(fd);
  }

  testkit::TempRoot root;
  std::string socketPath;
  std::shared_ptr<Helper4Ostrakel> helper;
};

}  // namespace

TEST_F(ListenerTest, SocketIsOpenToEveryLocalUser) {
  EXPECT_EQ(std::filesystem::status(socketPath).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0666));
}

TEST_F(ListenerTest, AnswersTheVersionAndPairsRepliesById) {
  int fd = connect();
  send(fd, {5, requestnames::kGetVersion, {nullptr}});
  send(fd, {6, requestnames::kGetVersion, {PlistValue::data("not a form")}});
  for (int64_t id : {5, 6}) {
    std::optional<remote::Reply> reply = awaitReply(fd);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, id);
    EXPECT_EQ(reply->message, "271");
    EXPECT_FALSE(reply->error);
  }
  ::close(fd);
}

TEST_F(ListenerTest, AVersionWaitsOnlyBehindARetryOfItsOwnConnection) {
  testkit::ScriptedAuthority authority(authorization::kDenied);
  int fd = connect();
  // The first try fails (there is no such bundle), so its retry waits on the
  // main queue, which nobody serves yet: the version must not overtake it.
  const std::string missing = FileURL{"/Library/TeX/Distributions/Missing.velmar"}.absoluteString();
  send(fd, {1, requestnames::kActivateBridge,
            {PlistValue::string(missing), PlistValue::string("x86_64"),
             PlistValue::data(authorization::makeExternalForm().value_or("form"))}});
  send(fd, {2, requestnames::kGetVersion, {nullptr}});
  pollfd early{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&early, 1, 300), 0) << "a reply came before the retry ran";
  std::optional<remote::Reply> first = awaitReply(fd), second = awaitReply(fd);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->id, 1);
  EXPECT_TRUE(first->error);
  EXPECT_EQ(second->id, 2);
  EXPECT_EQ(second->message, "271");
  // With nothing of its connection pending, the version comes at once,
  // without the main queue.
  send(fd, {3, requestnames::kGetVersion, {nullptr}});
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 10000), 1);
  std::string payload;
  ASSERT_EQ(remote::readFrame(fd, payload), remote::FrameStatus::ok);
  std::string why;
  std::optional<remote::Reply> third = remote::decodeReply(plist::parse(payload), why);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->id, 3);
  ::close(fd);
}

TEST_F(ListenerTest, RequestsHeldBackBeyondTheLimitAreServedWithoutMoreInput) {
  // Holds every reply callback until the test answers it.
  struct Holding : RemoteObject {
    std::mutex mutex;
    std::vector<std::pair<int64_t, RemoteReplyBlock>> held;
    bool deliverRequest(const remote::Request& request, RemoteReplyBlock reply, std::string&) override {
      std::lock_guard lock(mutex);
      held.emplace_back(request.id.value, std::move(reply));
      return true;
    }
    size_t waitFor(size_t count) {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      for (;;) {
        {
          std::lock_guard lock(mutex);
          if (held.size() >= count || std::chrono::steady_clock::now() > deadline) return held.size();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    void answerAll() {
      std::lock_guard lock(mutex);
      for (auto& [id, reply] : held)
        if (reply) std::exchange(reply, nullptr)(std::to_string(id), nullptr);
    }
  };
  auto holding = std::make_shared<Holding>();
  helper->listener()->invalidate();
  Listener listener(kServiceName);
  listener.setDelegate([&](Connection& connection) {
    connection.setExportedObject(holding);
    connection.resume();
    return true;
  });
  ASSERT_TRUE(listener.resume());
  int fd = connect();
  // Six requests in one write: the connection reads them at once, delivers
  // as many as may be in progress and keeps the rest.
  std::string bytes;
  for (int64_t id = 1; id <= 6; ++id)
    bytes += *remote::frameBytes(*plist::toBinary(*remote::encodeRequest({id, "anything", {}})));
  ASSERT_TRUE(remote::writeAll(fd, bytes));
  EXPECT_EQ(holding->waitFor(kMaxOutstandingRequests), size_t(kMaxOutstandingRequests));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(holding->waitFor(0), size_t(kMaxOutstandingRequests));
  holding->answerAll();
  EXPECT_EQ(holding->waitFor(6), 6u);
  holding->answerAll();
  for (int64_t id = 1; id <= 6; ++id) {
    std::optional<remote::Reply> reply = awaitReply(fd);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, id);
  }
  ::close(fd);
  listener.invalidate();
}

TEST_F(ListenerTest, BadInputClosesOnlyItsOwnConnection) {
  int bystander = connect();
  auto payload = [](const PlistValue& value) { return *plist::toBinary(value); };
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"frame too long", testkit::frameHeader(remote::kMaxFrameLength + 1)},
      {"not a property list", *remote::frameBytes("this is not a plist")},
      {"not a dictionary", *remote::frameBytes(payload(*PlistValue::array({})))},
      {"unknown request",
       *remote::frameBytes(payload(*remote::encodeRequest({1, "makeCoffee:replyBlock:", {nullptr}})))},
      {"too few arguments",
       *remote::frameBytes(payload(*remote::encodeRequest({1, requestnames::kFixVelmarmgr, {nullptr}})))},
      {"authorization data as a string",
       *remote::frameBytes(payload(*remote::encodeRequest({1, requestnames::kReset, {PlistValue::string("x")}})))},
      {"name absent",
       *remote::frameBytes(payload(*remote::encodeRequest({1, requestnames::kFixVelmarmgr, {nullptr, nullptr}})))},
      {"URL not a file URL",
       *remote::frameBytes(payload(*remote::encodeRequest(
           {1, requestnames::kActivateBridge, {PlistValue::string("http://x/"), PlistValue::string("x86_64"), nullptr}})))},
      {"dictionary given as a number",
       *remote::frameBytes(payload(*remote::encodeRequest(
           {1, requestnames::kCopyLaunchdInformation, {PlistValue::integer(3), nullptr}})))},
  };
  for (const auto& [name, bytes] : cases) {
    int fd = connect();
    ASSERT_TRUE(remote::writeAll(fd, bytes)) << name;
    EXPECT_FALSE(awaitReply(fd)) << name << ": the connection is closed without a reply";
    ::close(fd);
  }
  // A frame cut short by a peer that goes away.
  int fd = connect();
  ASSERT_TRUE(remote::writeAll(fd, testkit::frameHeader(100) + "abc"));
  ::close(fd);

  std::optional<remote::Reply> reply = versionOver(bystander, 9);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->message, "271");
  ::close(bystander);
}

TEST_F(ListenerTest, APeerThatLeavesBeforeItsReplyHarmsNoOne) {
  int fd = connect();
  send(fd, {1, requestnames::kGetVersion, {nullptr}});
  ::close(fd);  // the version answer comes later from the main queue
  mainqueue::drain();

  int many[16];
  for (int& each : many) each = connect();
  for (int i = 0; i < 16; ++i) send(many[i], {i, requestnames::kGetVersion, {nullptr}});
  for (int i = 0; i < 16; ++i) {
    std::optional<remote::Reply> reply = awaitReply(many[i]);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->id, i);
    ::close(many[i]);
  }
}

TEST_F(ListenerTest, APeerWhoseExecutableCannotBeReadIsRejected) {
  // The child connects and is gone (reaped) before the delegate decides.
  helper->listener()->invalidate();
  auto listener = std::make_shared<Listener>(kServiceName);
  std::atomic<int> decisions{0};
  std::atomic<bool> accepted{true};
  std::atomic<pid_t> peer{-1};
  listener->setDelegate([&](Connection& connection) {
    int status = 0;
    peer = connection.processIdentifier();
    ::waitpid(connection.processIdentifier(), &status, 0);
    accepted = helper->shouldAcceptNewConnection(connection);
    ++decisions;
    return accepted.load();
  });
  ASSERT_TRUE(listener->resume());
  pid_t child = ::fork();
  if (child == 0) {
    std::string why;
    remote::connectToSocket(socketPath, why);
    ::_exit(0);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (decisions == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(decisions, 1);
  EXPECT_EQ(peer, child);
  EXPECT_FALSE(accepted);

  // The next peer is served as usual.
  listener->setDelegate([&](Connection& connection) { return helper->shouldAcceptNewConnection(connection); });
  int fd = connect();
  std::optional<remote::Reply> reply = versionOver(fd, 3);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->message, "271");
  ::close(fd);
  listener->invalidate();
}

TEST_F(ListenerTest, AnExportedObjectThatRaisesLosesOnlyItsConnection) {
  struct Raising : RemoteObject {
    bool deliverRequest(const remote::Request& request, RemoteReplyBlock reply, std::string&) override {
      if (request.id == 1) throw std::runtime_error("broken");
      reply("fine", nullptr);
      return true;
    }
  };
  helper->listener()->invalidate();
  Listener listener(kServiceName);
  listener.setDelegate([](Connection& connection) {
    connection.setExportedObject(std::make_shared<Raising>());
    connection.resume();
    return true;
  });
  ASSERT_TRUE(listener.resume());
  int broken = connect();
  send(broken, {1, "anything", {}});
  EXPECT_FALSE(awaitReply(broken));
  ::close(broken);
  int fine = connect();
  send(fine, {2, "anything", {}});
  std::optional<remote::Reply> reply = awaitReply(fine);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->message, "fine");
  ::close(fine);
  listener.invalidate();
}
