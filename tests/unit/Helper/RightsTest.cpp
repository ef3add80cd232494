// The rights table, the external form and the rights check.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "Helper/Helper4Ostrakel.h"
#include "tests/support/RequestDoubles.h"
#include "platform/Authorization.h"

using namespace ostrakel;
using testkit::ScriptedAuthority;
using testkit::selfAsPeer;

TEST(RightsTable, DescribesEveryAction) {
  ::setenv("HOME", "/Users/tester", 1);
  struct Row {
    const char* name;
    const char* message;
    const char* prompt;
    int64_t error;
  };
  const Row rows[] = {
      {"reset", "Reset",
       "Reset: remove /usr/texbin soft link, /Library/TeX/Distributions/.DefaultTeX/ and "
       "/Library/TeX/Distributions/Programs/ directories.",
       107},
      {"fix_texbins", "Fix texbins", "Repair various texbin soft links.", 700},
      {"create_texbin", "Fix texbin",
       "Repair: soft link /usr/texbin to ../Library/TeX/Distributions/.DefaultTeX/Contents/Programs/texbin.", 701},
      {"create_Programs_texbin", "Fix Programs texbin",
       "Repair: soft link /Library/TeX/Distributions/Programs/texbin to ../.DefaultTeX/Contents/Programs/texbin.",
       702},
      {"create_my_Programs_texbin", "Fix my Programs texbin",
       "Repair: soft link /Users/tester/Library/TeX/Distributions/Programs/texbin to "
       "../.DefaultTeX/Contents/Programs/texbin.",
       703},
      {"create_default_tex", "Fix .DefaultTeX", "Repair: create directory /Library/TeX/Distributions/.DefaultTeX.",
       704},
      {"create_my_default_tex", "Fix my .DefaultTeX",
       "Repair: create directory /Users/tester/Library/TeX/Distributions/.DefaultTeX.", 705},
      {"create_velmarmgr", "Fix velmarmgr", "Repair: create symlink /Library/TeX/Distributions/velmarmgr", 706},
      {"create_user_velmarmgr", "Fix velmarmgr", "Repair: create symlink ~/Library/TeX/Distributions/velmarmgr",
       707},
      {"fix_bridges", "Fix distributions", "Fix distributions proxies.", 708},
      {"fix_context", "Fix context", "Repair: fix context.", 709},
      {"copy_launchd_information", "Copy launchd information", "Repair: copy launchd information.", 113},
      {"activate_distribution", "Activate distribution", "Activating a distribution.", 710},
      {"add_distribution", "Add distribution",
       "Add a distribution: make a bundle in /Library/TeX/Distributions that links to an installed TeX.", 713},
      {"remove_distribution", "Remove distribution",
       "Remove a distribution bundle that was made from an installed TeX; the installation stays.", 714},
      {"make_coffee", "make_coffee", "For command make_coffee.", 1},
      {"", "", "For command .", 1},
  };
  for (const Row& row : rows) {
    ActionStrings strings = Helper4Ostrakel::stringsForName(row.name);
    EXPECT_EQ(strings.message, row.message) << row.name;
    EXPECT_EQ(strings.prompt, row.prompt) << row.name;
    EXPECT_EQ(strings.error, row.error) << row.name;
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
