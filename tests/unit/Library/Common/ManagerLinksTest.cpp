// The manager-tool links and their refusal of names that are no file name.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"

namespace ostrakel::testkit {
namespace {

const std::string kProgramsLink = "/Library/TeX/Distributions/Programs/velmarmgr";
const std::string kULB = "/usr/local/bin/velmarmgr";
const std::string kTool = "/Library/PreferencePanes/Example.prefPane/Contents/Executables/velmarmgr";

using ManagerLinksTest = LayoutTest;

TEST_F(ManagerLinksTest, RepairWritesBothAbsoluteLinksOnceOnly) {
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kProgramsLink), kTool);
  EXPECT_EQ(root.linkText(kULB), kTool);
  const auto changesAfterFirst = files().changes().size();
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(files().changes().size(), changesAfterFirst) << "the second run changes nothing";
}

TEST_F(ManagerLinksTest, CheckNeedsAnExecutableToolAndTheProgramsLinkOnly) {
  ASSERT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", nullptr));
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane")) << "the tool is missing";
  root.file(kTool);
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane")) << "not executable";
  root.program(kTool);
  EXPECT_TRUE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane"));
  std::filesystem::remove(root.host(kULB));
  EXPECT_TRUE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane"));
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Other.prefPane"));
}

TEST_F(ManagerLinksTest, WrongItemsInTheWayAreReplaced) {
  root.file(kProgramsLink + "/inside");   // a real folder with content
  root.link(kULB, "/elsewhere");  // a dangling link with another text
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(root.linkText(kProgramsLink), kTool);
  EXPECT_EQ(root.linkText(kULB), kTool);
}

TEST_F(ManagerLinksTest, SecondLinkIsAttemptedAfterTheFirstFails) {
  files().failOn(Op::Link, kProgramsLink);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_velmarmgr_ForName("Example.prefPane", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, EIO);
  EXPECT_EQ(root.linkText(kULB), kTool);
}

TEST_F(ManagerLinksTest, NamesThatAreNoPlainFileNameAreRefused) {
  root.program("/etc/velmarmgr");
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
  EXPECT_TRUE(files().changes().empty());
  EXPECT_FALSE(root.exists(kProgramsLink));
  EXPECT_FALSE(root.exists(kULB));
}

TEST_F(ManagerLinksTest, PerUserLinkLivesInTheHomeFolder) {
  const std::string home = "/home/tester";
  ErrorRef error;
  EXPECT_TRUE(Tools4Ostrakel::fix_user_velmarmgr_ForName("Example.prefPane", &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(home + kProgramsLink), home + kTool);
  EXPECT_FALSE(root.exists(kProgramsLink));
  EXPECT_FALSE(root.exists(kULB));
  EXPECT_FALSE(Tools4Ostrakel::is_user_velmarmgr_OKForName("Example.prefPane"));
  root.program(home + kTool);
  EXPECT_TRUE(Tools4Ostrakel::is_user_velmarmgr_OKForName("Example.prefPane"));
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Example.prefPane"));
}

TEST_F(ManagerLinksTest, PerUserLinkFailureCarriesTheLinkError) {
  files().failOn(Op::Link, "/home/tester" + kProgramsLink);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_user_velmarmgr_ForName("Example.prefPane", &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, EIO);
}

}  // namespace
}  // namespace ostrakel::testkit
