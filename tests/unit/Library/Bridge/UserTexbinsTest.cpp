// The per-user texbin folder and link under the home folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"

namespace ostrakel::testkit {
namespace {

const std::string kUserDefaultTeX = "/home/tester/Library/TeX/Distributions/.DefaultTeX";
const std::string kUserPrograms = "/home/tester/Library/TeX/Distributions/Programs/texbin";
const std::string kText = "../.DefaultTeX/Contents/Programs/texbin";

using UserTexbinsTest = LayoutTest;

TEST_F(UserTexbinsTest, MissingFolderAnswersFalseButTheLinkIsWritten) {
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_user_texbins_OrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(kUserPrograms), kText);
  EXPECT_FALSE(root.exists(kUserDefaultTeX));
  EXPECT_FALSE(Tools4Ostrakel::are_user_texbins_OK());
  EXPECT_FALSE(root.exists("/Library/TeX")) << "nothing outside the home folder";
}

TEST_F(UserTexbinsTest, WrongItemIsReplacedByAFolder) {
  for (const std::string what : {"file", "link to a folder", "real folder"}) {
    SCOPED_TRACE(what);
    std::error_code ignored;
    std::filesystem::remove_all(root.host("/home/tester/Library"), ignored);
    if (what == "file") root.file(kUserDefaultTeX);
    if (what == "link to a folder") {
      root.folder("/home/tester/Elsewhere");
      root.link(kUserDefaultTeX, "/home/tester/Elsewhere");
    }
    if (what == "real folder") root.file(kUserDefaultTeX + "/Contents/keep");
    EXPECT_FALSE(Tools4Ostrakel::are_user_texbins_OK());
    ErrorRef error;
    EXPECT_TRUE(Tools4Ostrakel::fix_user_texbins_OrReturnError(&error));
    EXPECT_EQ(error, nullptr);
    EXPECT_TRUE(root.isRealFolder(kUserDefaultTeX));
    EXPECT_TRUE(Tools4Ostrakel::are_user_texbins_OK());
    if (what == "real folder") {
      EXPECT_TRUE(root.exists(kUserDefaultTeX + "/Contents/keep"));
    }
  }
}

TEST_F(UserTexbinsTest, FolderFailuresAre705AndTheLinkIsStillWritten) {
  root.file(kUserDefaultTeX);
  files().failOn(Op::Remove, kUserDefaultTeX);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_user_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 705);
  EXPECT_EQ(error->userInfo.localizedDescription,
            "Failed to create directory at /home/tester/Library/TeX/Ditributions/.DefaultTeX");
  ASSERT_NE(error->userInfo.underlying, nullptr);
  EXPECT_EQ(root.linkText(kUserPrograms), kText);
  EXPECT_FALSE(std::count(files().changes().begin(), files().changes().end(), "mkdir " + kUserDefaultTeX))
      << "no folder is made where the wrong item could not be removed";
}

TEST_F(UserTexbinsTest, FailedFolderCreationIs705) {
  root.folder(kUserDefaultTeX);
  files().failOn(Op::CreateDirectory, kUserDefaultTeX);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_user_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 705);
}

TEST_F(UserTexbinsTest, FailedLinkIs703) {
  root.folder(kUserDefaultTeX);
  files().failOn(Op::Link, kUserPrograms);
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fix_user_texbins_OrReturnError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, 703);
  EXPECT_EQ(error->userInfo.localizedDescription,
            "Failed to link /home/tester/Library/TeX/Distributions/Programs/texbin to "
            "../.DefaultTeX/Contents/Programs/texbin");
}

}  // namespace
}  // namespace ostrakel::testkit
