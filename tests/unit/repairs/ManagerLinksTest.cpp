// The manager-tool links and their refusal of names that are no file name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "RepairFixture.h"

namespace ostrakel::testing {
namespace {

const std::string kLTD = "/Library/TeX/Distributions/Programs/velmarmgr";
const std::string kULB = "/usr/local/bin/velmarmgr";
const std::string kTool = "/Library/PreferencePanes/Example.prefPane/Contents/Executables/velmarmgr";

using ManagerLinksTest = RepairTest;

TEST_F(ManagerLinksTest, RepairWritesBothAbsoluteLinksOnceOnly) {
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(linkText(kLTD), kTool);
  EXPECT_EQ(linkText(kULB), kTool);
  const auto changesAfterFirst = fs().changes().size();
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(fs().changes().size(), changesAfterFirst) << "the second run changes nothing";
}

TEST_F(ManagerLinksTest, CheckNeedsAnExecutableToolAndTheProgramsLinkOnly) {
  ASSERT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", nullptr));
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane")) << "the tool is missing";
  makeFile(kTool);
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane")) << "not executable";
  makeProgram(kTool);
  EXPECT_TRUE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane"));
  std::filesystem::remove(host(kULB));
  EXPECT_TRUE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane"));
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Other.prefPane"));
}

TEST_F(ManagerLinksTest, WrongItemsInTheWayAreReplaced) {
  makeFile(kLTD + "/inside");   // a real folder with content
  makeLink(kULB, "/elsewhere");  // a dangling link with another text
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(linkText(kLTD), kTool);
  EXPECT_EQ(linkText(kULB), kTool);
}

TEST_F(ManagerLinksTest, SecondLinkIsAttemptedAfterTheFirstFails) {
  fs().failOn(Op::Link, kLTD);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, ScriptedFileSystem::injectedError(kLTD)->code);
  EXPECT_EQ(linkText(kULB), kTool);
}

TEST_F(ManagerLinksTest, NamesThatAreNoPlainFileNameAreRefused) {
  makeProgram("/etc/velmarmgr");
  const std::vector<std::string> names = {"", ".", "..", "../../etc", "a/b", std::string("Example\0.prefPane", 17),
                                          "/Example.prefPane"};
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    ErrorRef error;
    EXPECT_FALSE(Tools4Ostrakel::fix_velmarmgr_ForName(name, &error));
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain, "OstrakelErrorDomain");
    EXPECT_EQ(error->code, 706);
    ErrorRef userError;
    EXPECT_FALSE(Tools4Ostrakel::fix_user_velmarmgr_ForName(name, &userError));
    ASSERT_NE(userError, nullptr);
    EXPECT_EQ(userError->code, 707);
    EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName(name));
    EXPECT_FALSE(Tools4Ostrakel::is_user_velmarmgr_OKForName(name));
  }
  EXPECT_TRUE(fs().changes().empty());
  EXPECT_FALSE(exists(kLTD));
  EXPECT_FALSE(exists(kULB));
}

TEST_F(ManagerLinksTest, PerUserLinkLivesInTheHomeFolder) {
  const std::string home = "/home/tester";
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_user_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(linkText(home + kLTD), home + kTool);
  EXPECT_FALSE(exists(kLTD));
  EXPECT_FALSE(exists(kULB));
  EXPECT_FALSE(Tools4Ostrakel::is_user_velmarmgr_OKForName("Example.prefPane"));
  makeProgram(home + kTool);
  EXPECT_TRUE(Tools4Ostrakel::is_user_velmarmgr_OKForName("Example.prefPane"));
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane"));
}

TEST_F(ManagerLinksTest, PerUserLinkFailureCarriesTheLinkError) {
  fs().failOn(Op::Link, "/home/tester" + kLTD);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_user_velmarmgr_ForName("Example.prefPane", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, ScriptedFileSystem::injectedError(kLTD)->code);
}

}  // namespace
}  // namespace ostrakel::testing
