// The logger as seen from the root's /dev/log and from standard output: the
// level filter, texts that are never formats, the error lines, the start
// announcements and the client used before start.
#include <gtest/gtest.h>

#include "Library/Common/Logger4Ostrakel.h"
#include "platform/MainQueue.h"
#include "platform/ProcessInfo.h"
#include "tests/support/CaptureFd.h"
#include "tests/support/TempRoot.h"

using namespace ostrakel;

namespace {

class LoggerTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(root_.listenOnDevLog());
    testkit::CaptureFd quiet(STDERR_FILENO);  // the diagnostic line
    Logger4Ostrakel::start();
    ASSERT_EQ(root_.nextText(), "Logger started");
    ASSERT_EQ(root_.nextText(), "LOGGER STARTED (NSLog)");
  }
  void TearDown() override { Logger4Ostrakel::stop(); }
  testkit::TempRoot root_;
};

ErrorRef error(const std::string& domain, int64_t code, std::optional<std::string> message,
               ErrorRef underlying = nullptr) {
  UserInfo info;
  info.localizedDescription = std::move(message);
  info.underlying = std::move(underlying);
  return makeError(domain, code, std::move(info));
}

}  // namespace

TEST_F(LoggerTest, OnlyLevelsUpToSixPass) {
  for (int32_t level : {7, 6, 0, -1, 8, INT32_MIN, 3}) Logger4Ostrakel::logWithLevel(level, "level " + std::to_string(level));
  EXPECT_EQ(root_.nextText(), "level 6");
  EXPECT_EQ(root_.nextText(), "level 0");
  EXPECT_EQ(root_.nextText(), "level 3");
  EXPECT_EQ(root_.nextText(200), std::nullopt);
}

TEST_F(LoggerTest, MessagesCarryTheServiceIdentAndTheirLevel) {
  Logger4Ostrakel::logWithLevel(3, std::string("bad"));
  auto datagram = root_.nextDatagram();
  ASSERT_TRUE(datagram);
  std::string expectedTail = " brennick.Helper[" + std::to_string(::getpid()) + "]: bad";
  EXPECT_TRUE(datagram->starts_with("<27>")) << *datagram;  // daemon facility, error level
  EXPECT_TRUE(datagram->ends_with(expectedTail)) << *datagram;
}

TEST_F(LoggerTest, TextIsNeverAFormat) {
  const std::string text = "100% done %@ %d %s %n %%";
  Logger4Ostrakel::logWithLevel(6, text);
  EXPECT_EQ(root_.nextText(), text);
  Logger4Ostrakel::logWithLevel(6, "copied %@.", {text});
  EXPECT_EQ(root_.nextText(), "copied " + text + ".");
}

TEST_F(LoggerTest, LogErrorLines) {
  Logger4Ostrakel::logError(error(kOstrakelErrorDomain, 110, "Wrong set of binaries"));
  EXPECT_EQ(root_.nextText(), "error OstrakelErrorDomain / 110 / Wrong set of binaries\n");
  Logger4Ostrakel::logError(nullptr);
  EXPECT_EQ(root_.nextText(), "error (null) / 0 / (null)\n");
  // The code is printed as a 32-bit number; a missing description as the placeholder.
  Logger4Ostrakel::logError(error("D", (int64_t{1} << 32) + 3, std::nullopt));
  EXPECT_EQ(root_.nextText(), "error D / 3 / (null)\n");
}

TEST_F(LoggerTest, ReportErrorLogsLaterOnTheMainQueue) {
  ErrorRef cause = error(kNSPOSIXErrorDomain, 13, "Permission denied");
  Logger4Ostrakel::reportError(error(kOstrakelErrorDomain, 701, "Failed to link", cause));
  Logger4Ostrakel::reportError(error(kOstrakelErrorDomain, 107, "Failed to remove"));
  EXPECT_EQ(root_.nextText(200), std::nullopt);  // nothing until the main queue runs
  mainqueue::drain();
  EXPECT_EQ(root_.nextText(), "Helper error OstrakelErrorDomain / 701 / Failed to link /" +
                                  cause->description() + "\n");
  EXPECT_EQ(root_.nextText(), "Helper error OstrakelErrorDomain / 107 / Failed to remove /\n");
}

TEST_F(LoggerTest, StartAgainReopensAndAnnouncesAgain) {
  testkit::CaptureFd err(STDERR_FILENO);
  Logger4Ostrakel::start();
  EXPECT_EQ(root_.nextText(), "Logger started");
  EXPECT_EQ(root_.nextText(), "LOGGER STARTED (NSLog)");
  std::string line = err.text();
  EXPECT_TRUE(line.ends_with("] LOGGER STARTED (NSLog)\n")) << line;
}

TEST_F(LoggerTest, WithoutStartMessagesUseTheDefaultClient) {
  Logger4Ostrakel::stop();
  Logger4Ostrakel::logWithLevel(6, std::string("Setting up the listener"));
  Logger4Ostrakel::logWithLevel(7, std::string("still filtered"));
  auto datagram = root_.nextDatagram();
  ASSERT_TRUE(datagram);
  std::string tail = " " + processinfo::processName() + "[" + std::to_string(::getpid()) +
                     "]: Setting up the listener";
  EXPECT_TRUE(datagram->ends_with(tail)) << *datagram;
  EXPECT_EQ(root_.nextText(200), std::nullopt);
}

TEST(LoggerOutput, WriteOutWritesUTF8BytesBackToBack) {
  testkit::CaptureFd out(STDOUT_FILENO);
  Logger4Ostrakel::writeOutWithFormat("\"%@\" \"%@\"\n", {"Sample TeX \xE2\x80\x93 2024", "x86_64"});
  Logger4Ostrakel::writeOutWithFormat("%s", {"\xFF raw"});
  Logger4Ostrakel::writeOutWithFormat("50%%", {});
  EXPECT_EQ(out.text(), "\"Sample TeX \xE2\x80\x93 2024\" \"x86_64\"\n\xFF raw50%");
}
