// The reply table of one action: skip, first try, check, retry, refusal,
// raised exceptions, and the first try's borrowed credentials.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "Helper/Helper4Ostrakel.h"
#include "tests/support/RequestDoubles.h"
#include "tests/support/TempRoot.h"
#include "platform/Assertion.h"
#include "platform/MainQueue.h"

using namespace ostrakel;
using testkit::ReplyRecorder;
using testkit::ScriptedAuthority;
using testkit::selfAsPeer;

namespace {

ErrorRef actionError() {
  UserInfo info;
  info.localizedDescription = "it broke";
  return makeError("OstrakelErrorDomain", 701, info);
}

// An action that fails `failures` times (storing an error), then succeeds.
struct ScriptedAction {
  int failures = 0;
  bool storeErrorOnFailure = true;
  int calls = 0;
  ActionBlock block() {
    return [this](ErrorSlot slot) {
      ++calls;
      if (calls <= failures) {
        if (storeErrorOnFailure) storeFirstError(slot, actionError());
        return false;
      }
      return true;
    };
  }
};

class ActionExecution : public ::testing::Test {
protected:
  void SetUp() override { mainqueue::drain(); }
  void TearDown() override { mainqueue::drain(); }
  std::shared_ptr<Helper4Ostrakel> helper = std::make_shared<Helper4Ostrakel>();
  remote::CurrentPeerScope peer{selfAsPeer()};
  AuthorizationData ownForm = authorization::makeExternalForm();
  ReplyRecorder recorder;
};

}  // namespace

TEST_F(ActionExecution, SkipAnswersWithoutTryingOrAsking) {
  ScriptedAuthority authority(authorization::kSuccess);
  ScriptedAction action;
  helper->executeActionWithName("reset", ownForm, action.block(), [] { return true; }, recorder.block());
  mainqueue::drain();
  ASSERT_EQ(recorder.replies.size(), 1u);
  EXPECT_EQ(recorder.replies[0].message, "Reset: skipped");
  EXPECT_FALSE(recorder.replies[0].error);
  EXPECT_EQ(action.calls, 0);
  EXPECT_TRUE(authority.asked.empty());
}

TEST_F(ActionExecution, FirstTryAnswersAtOnce) {
  ScriptedAuthority authority(authorization::kSuccess);
  struct Case {
    AuthorizationData data;
    int failures;
    bool storesError;
    const char* message;
    bool hasError;
  };
  const Case cases[] = {
      {ownForm, 0, true, "Fix context done", false},
      {std::string("malformed"), 0, true, "Fix context done", false},  // never examined
      {std::nullopt, 0, true, "Fix context done (NO authData)", false},
      {std::nullopt, 1, true, "Fix context FAILED (NO authData)", true},
      // The word follows the error, not the flag.
      {std::nullopt, 1, false, "Fix context done (NO authData)", false},
  };
  for (const Case& c : cases) {
    ScriptedAction action{c.failures, c.storesError};
    ReplyRecorder replies;
    helper->executeActionWithName("fix_context", c.data, action.block(), [] { return false; }, replies.block());
    ASSERT_EQ(replies.replies.size(), 1u) << c.message << ": answered before returning";
    mainqueue::drain();
    ASSERT_EQ(replies.replies.size(), 1u) << c.message;
    EXPECT_EQ(replies.replies[0].message, c.message);
    EXPECT_EQ(static_cast<bool>(replies.replies[0].error), c.hasError) << c.message;
    if (c.hasError) {
      EXPECT_EQ(replies.replies[0].error->code, 701);
    }
    EXPECT_EQ(action.calls, 1) << c.message;
  }
  EXPECT_TRUE(authority.asked.empty());
}

TEST_F(ActionExecution, FailedFirstTryWithDataIsRetriedAfterAGrantedCheck) {
  ScriptedAuthority authority(authorization::kSuccess);
  ScriptedAction action{1};
  helper->executeActionWithName("activate_distribution", ownForm, action.block(), [] { return false; },
                                recorder.block());
  EXPECT_TRUE(recorder.replies.empty()) << "the retry waits for the main queue";
  mainqueue::drain();
  ASSERT_EQ(recorder.replies.size(), 1u);
  EXPECT_EQ(recorder.replies[0].message, "Activate distribution done");
  EXPECT_FALSE(recorder.replies[0].error);
  EXPECT_EQ(action.calls, 2);
  ASSERT_EQ(authority.asked.size(), 1u);
  EXPECT_EQ(authority.asked[0].right, "brennick.Helper.admin.activate_distribution");

  // A retry that fails again reports the action's own error.
  ScriptedAction stubborn{2};
  ReplyRecorder replies;
  helper->executeActionWithName("activate_distribution", ownForm, stubborn.block(), [] { return false; },
                                replies.block());
  mainqueue::drain();
  ASSERT_EQ(replies.replies.size(), 1u);
  EXPECT_EQ(replies.replies[0].message, "Activate distribution FAILED");
  ASSERT_TRUE(replies.replies[0].error);
  EXPECT_EQ(replies.replies[0].error->code, 701);
}

TEST_F(ActionExecution, RefusedCheckAnswersWithTheActionsCode) {
  struct Case {
    const char* name;
    AuthorizationData data;
    int32_t status;
    const char* message;
    int64_t code;
    const char* underlyingDomain;
    int64_t underlyingCode;
  };
  const Case cases[] = {
      {"activate_distribution", ownForm, authorization::kDenied, "Activate distribution FAILED", 710,
       "NSCocoaErrorDomain", -60005},
      {"copy_launchd_information", ownForm, authorization::kInteractionNotAllowed, "Copy launchd information FAILED",
       113, "NSCocoaErrorDomain", -60007},
      {"reset", std::string(), authorization::kSuccess, "Reset FAILED", 107, "NSOSStatusErrorDomain", -50},
      {"reset", std::string(32, 'x'), authorization::kSuccess, "Reset FAILED", 107, "NSCocoaErrorDomain", -60002},
      {"no_such_action", ownForm, authorization::kCanceled, "no_such_action FAILED", 1, "NSCocoaErrorDomain", -60006},
  };
  for (const Case& c : cases) {
    ScriptedAuthority authority(c.status);
    ScriptedAction action{1};
    ReplyRecorder replies;
    helper->executeActionWithName(c.name, c.data, action.block(), [] { return false; }, replies.block());
    mainqueue::drain();
    ASSERT_EQ(replies.replies.size(), 1u) << c.name;
    EXPECT_EQ(replies.replies[0].message, c.message);
    EXPECT_EQ(action.calls, 1) << c.name << ": never tried again";
    const ErrorRef& error = replies.replies[0].error;
    ASSERT_TRUE(error) << c.name;
    EXPECT_EQ(error->domain, "OstrakelErrorDomain");
    EXPECT_EQ(error->code, c.code);
    EXPECT_TRUE(error->userInfo.localizedDescription);
    ASSERT_TRUE(error->userInfo.underlying) << c.name;
    EXPECT_EQ(error->userInfo.underlying->domain, c.underlyingDomain);
    EXPECT_EQ(error->userInfo.underlying->code, c.underlyingCode);
  }
}

TEST_F(ActionExecution, RaisingOperationsAreAnsweredWithAnError) {
  ScriptedAuthority authority(authorization::kSuccess);
  auto raising = [](ErrorSlot) -> bool { invalidParameter("dictionary", "Library/Common", 12); };
  helper->executeActionWithName("copy_launchd_information", std::nullopt, raising, [] { return false; },
                                recorder.block());
  helper->executeActionWithName("reset", ownForm, [](ErrorSlot) { return true; },
                                []() -> bool { throw std::runtime_error("skip check broke"); }, recorder.block());
  // Raising in the retry, after a failed first try.
  int calls = 0;
  helper->executeActionWithName(
      "fix_bridges", ownForm,
      [&calls](ErrorSlot) -> bool {
        if (++calls == 2) throw std::runtime_error("retry broke");
        return false;
      },
      [] { return false; }, recorder.block());
  mainqueue::drain();
  ASSERT_EQ(recorder.replies.size(), 3u);
  EXPECT_EQ(recorder.replies[0].message, "Copy launchd information FAILED (NO authData)");
  EXPECT_EQ(recorder.replies[1].message, "Reset FAILED");
  EXPECT_EQ(recorder.replies[2].message, "Fix distributions FAILED");
  const int64_t codes[] = {113, 107, 708};
  for (size_t i = 0; i < 3; ++i) {
    const ErrorRef& error = recorder.replies[i].error;
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, codes[i]);
    ASSERT_TRUE(error->userInfo.underlying);
  }
  EXPECT_NE(recorder.replies[0].error->userInfo.underlying->userInfo.localizedDescription->find(
                "Invalid parameter not satisfying: dictionary"),
            std::string::npos);
}

// The first try borrows the peer's file-system identity; only the retry after
// a granted check runs with the service's own.
TEST_F(ActionExecution, FirstTryRunsWithThePeersFileSystemRights) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to lend another user's identity";
  testkit::TempRoot root;
  const std::string folder = root.host();
  const std::string closed = folder + "/closed";
  ::mkdir(closed.c_str(), 0700);
  ::chmod(folder.c_str(), 0777);

  const uid_t nobody = 65534;
  remote::PeerCredentials stranger{::getpid(), nobody, nobody, {}, std::nullopt, nullptr};
  remote::CurrentPeerScope strangerScope(stranger);
  ScriptedAuthority authority(authorization::kDenied);

  auto writer = [](const std::string& path) {
    return [path](ErrorSlot slot) {
      std::ofstream file(path);
      if (!file) storeFirstError(slot, posixError(EACCES, path));
      return static_cast<bool>(file);
    };
  };
  helper->executeActionWithName("reset", std::nullopt, writer(closed + "/file"), [] { return false; },
                                recorder.block());
  helper->executeActionWithName("reset", std::nullopt, writer(folder + "/open"), [] { return false; },
                                recorder.block());
  ASSERT_EQ(recorder.replies.size(), 2u);
  EXPECT_EQ(recorder.replies[0].message, "Reset FAILED (NO authData)");
  EXPECT_EQ(recorder.replies[1].message, "Reset done (NO authData)");
  struct stat info {};
  ASSERT_EQ(::stat((folder + "/open").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, nobody) << "made as the peer";

  // The thread has its own rights back.
  EXPECT_TRUE(std::ofstream(closed + "/after"));
  ASSERT_EQ(::stat((closed + "/after").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 0u);

  // A root peer is unaffected.
  {
    remote::CurrentPeerScope rootScope(remote::PeerCredentials{::getpid(), 0, 0, {}, std::nullopt, nullptr});
    ReplyRecorder replies;
    helper->executeActionWithName("reset", std::nullopt, writer(closed + "/root"), [] { return false; },
                                  replies.block());
    ASSERT_EQ(replies.replies.size(), 1u);
    EXPECT_EQ(replies.replies[0].message, "Reset done (NO authData)");
  }
}
