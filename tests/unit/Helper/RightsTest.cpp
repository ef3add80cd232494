// The rights the helper asks for against the shipped policy, the external
// form and the rights check.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "Helper/Helper4Ostrakel.h"
#include "tests/support/RequestDoubles.h"
#include "platform/Authorization.h"
#include "platform/MainQueue.h"
#include "tests/support/TempRoot.h"

using namespace ostrakel;
using testkit::ScriptedAuthority;
using testkit::selfAsPeer;

namespace {

// The actions of the polkit policy the package ships, each with the answers
// of its three kinds of session (allow_any, allow_inactive, allow_active).
std::map<std::string, std::vector<std::string>> shippedPolicyActions() {
  std::ifstream in(std::string(OSTRAKEL_SOURCE_DIR) + "/packaging/brennick.Helper.policy");
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  std::map<std::string, std::vector<std::string>> actions;
  const std::regex action(R"re(<action id="([^"]+)">([\s\S]*?)</action>)re");
  const std::regex answer(R"re(<allow_(?:any|inactive|active)>([^<]*)</allow_)re");
  for (std::sregex_iterator a(xml.begin(), xml.end(), action), end; a != end; ++a) {
    const std::string body = (*a)[2];
    std::vector<std::string>& answers = actions[(*a)[1]];
    for (std::sregex_iterator d(body.begin(), body.end(), answer); d != end; ++d) answers.push_back((*d)[1]);
  }
  return actions;
}

}  // namespace

// Every state-changing request, when its first try fails, asks polkit for a
// right the shipped policy defines, and that right needs an administrator.
TEST(Rights, EveryRequestAsksForAShippedRightThatNeedsAnAdministrator) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to lend another user's identity";
  const auto policy = shippedPolicyActions();
  ASSERT_FALSE(policy.empty()) << "no policy read from " OSTRAKEL_SOURCE_DIR;
  for (const auto& [action, answers] : policy) {
    EXPECT_EQ(answers.size(), 3u) << action;
    for (const std::string& answer : answers)
      EXPECT_TRUE(answer == "auth_admin" || answer == "auth_admin_keep") << action << ": " << answer;
  }

  // A root that only root may write, with something for every request to
  // change: a stranger's first try fails, and the retry asks for the right.
  testkit::TempRoot root;
  ::chmod(root.host().c_str(), 0755);
  root.bundle(testkit::kLTD, "Sample");
  root.link("/usr/texbin", "nowhere");
  const uid_t nobody = 65534;
  const auto started = remote::processStartTime(::getpid());
  remote::CurrentPeerScope peer(remote::PeerCredentials{::getpid(), nobody, nobody, {}, started, nullptr});
  const AuthorizationData form = authorization::externalForm({::getpid(), nobody, started.value_or(0)});
  ScriptedAuthority authority(authorization::kDenied);
  auto helper = std::make_shared<Helper4Ostrakel>();
  int replies = 0;
  ReplyBlock count = [&replies](const std::string&, const ErrorRef&) { ++replies; };
  helper->resetWithAuthorization(form, count);
  helper->fixBridgesWithAuthorization(form, count);
  helper->fixContextWithAuthorization(form, count);
  helper->copyLaunchdInformation(PlistValue::dictionary({{"Label", PlistValue::string("x")}}), form, count);
  helper->fix_velmarmgr_ForName("Example.prefPane", form, count);
  helper->activateBridgeAtURL(std::nullopt, std::string("x86_64"), form, count);
  helper->addDistribution(nullptr, form, count);
  helper->removeDistributionAtURL(FileURL{std::string(testkit::kLTD) + "/Sample.velmar"}, form, count);
  mainqueue::drain();
  EXPECT_EQ(replies, 8);
  ASSERT_EQ(authority.asked.size(), 8u);
  for (const auto& question : authority.asked) {
    EXPECT_TRUE(policy.count(question.right)) << question.right << " is no action of the policy";
    EXPECT_FALSE(question.prompt.empty()) << question.right;
  }
}

TEST(ExternalForm, HoldsOnlyForTheLivingPeerThatSentIt) {
  std::optional<std::string> own = authorization::makeExternalForm();
  ASSERT_TRUE(own);
  ASSERT_EQ(own->size(), 32u);
  std::optional<authorization::Reference> parsed = authorization::parseExternalForm(*own);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->pid, ::getpid());
  EXPECT_EQ(parsed->startTime, authorization::processStartTime(::getpid()));

  std::shared_ptr<authorization::Reference> reference;
  // Outside a request there is no peer to match.
  EXPECT_EQ(authorization::createFromExternalForm(*own, reference), authorization::kInvalidRef);
  {
    remote::CurrentPeerScope scope(selfAsPeer());
    EXPECT_EQ(authorization::createFromExternalForm(*own, reference), authorization::kSuccess);
    ASSERT_TRUE(reference);

    // Another start time: the pid was reused by another process.
    authorization::Reference stale = *parsed;
    stale.startTime += 1;
    EXPECT_EQ(authorization::createFromExternalForm(authorization::externalForm(stale), reference),
              authorization::kInvalidRef);
    // Another user id than the peer's.
    authorization::Reference otherUser = *parsed;
    otherUser.uid += 1;
    EXPECT_EQ(authorization::createFromExternalForm(authorization::externalForm(otherUser), reference),
              authorization::kInvalidRef);
    // A broken magic or reserved bytes.
    std::string broken = *own;
    broken[0] ^= 1;
    EXPECT_EQ(authorization::createFromExternalForm(broken, reference), authorization::kInvalidRef);
    broken = *own;
    broken[31] = 1;
    EXPECT_EQ(authorization::createFromExternalForm(broken, reference), authorization::kInvalidRef);
  }
  {
    // A living process that is not the peer: the form names pid 1.
    remote::CurrentPeerScope scope(selfAsPeer());
    authorization::Reference init{1, ::geteuid(), authorization::processStartTime(1).value_or(0)};
    EXPECT_EQ(authorization::createFromExternalForm(authorization::externalForm(init), reference),
              authorization::kInvalidRef);
  }
  EXPECT_FALSE(authorization::processStartTime(-1));
}

TEST(AuthorizationData, WrongLengthsAreRefusedBeforeTheAuthorityIsAsked) {
  ScriptedAuthority authority(authorization::kSuccess);
  remote::CurrentPeerScope scope(selfAsPeer());
  for (const AuthorizationData& data :
       {AuthorizationData{}, AuthorizationData{""}, AuthorizationData{std::string(31, 'a')},
        AuthorizationData{std::string(33, 'a')}}) {
    ErrorRef error;
    EXPECT_FALSE(Helper4Ostrakel::authorizationWithExternalData(data, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NSOSStatusErrorDomain");
    EXPECT_EQ(error->code, -50);
    EXPECT_TRUE(error->userInfo.localizedDescription);
    error.reset();
    EXPECT_FALSE(Helper4Ostrakel::checkAuthorization(data, "reset", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, -50);
  }
  EXPECT_TRUE(authority.asked.empty());
  // No slot given: nothing to store, still refused.
  EXPECT_FALSE(Helper4Ostrakel::checkAuthorization(std::nullopt, "reset", nullptr));

  ErrorRef error;
  EXPECT_FALSE(Helper4Ostrakel::authorizationWithExternalData(std::string(32, 'a'), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(error->code, -60002);
  EXPECT_EQ(error->userInfo.localizedDescription, "The authorization reference is invalid");
}

TEST(AuthorizationCheck, AsksForTheActionsRightWithItsPrompt) {
  remote::CurrentPeerScope scope(selfAsPeer());
  std::optional<std::string> own = authorization::makeExternalForm();
  {
    ScriptedAuthority authority(authorization::kSuccess);
    ErrorRef error;
    EXPECT_TRUE(Helper4Ostrakel::checkAuthorization(own, "activate_distribution", &error));
    EXPECT_FALSE(error);
    ASSERT_EQ(authority.asked.size(), 1u);
    EXPECT_EQ(authority.asked[0].right, "brennick.Helper.admin.activate_distribution");
    EXPECT_EQ(authority.asked[0].prompt, "Activating a distribution.");
    EXPECT_EQ(authority.asked[0].pid, ::getpid());
  }
  {
    // Taking a bundle away needs the right that made it.
    ScriptedAuthority authority(authorization::kSuccess);
    EXPECT_TRUE(Helper4Ostrakel::checkAuthorization(own, "remove_distribution", nullptr));
    ASSERT_EQ(authority.asked.size(), 1u);
    EXPECT_EQ(authority.asked[0].right, "brennick.Helper.admin.add_distribution");
  }
  for (int32_t status : {authorization::kDenied, authorization::kCanceled, authorization::kInteractionNotAllowed,
                         authorization::kInternal}) {
    ScriptedAuthority authority(status);
    ErrorRef error;
    EXPECT_FALSE(Helper4Ostrakel::checkAuthorization(own, "reset", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NSCocoaErrorDomain");
    EXPECT_EQ(error->code, status);
  }
}
