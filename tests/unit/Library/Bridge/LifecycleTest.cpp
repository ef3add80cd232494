// One installation's life through the repairs, as the service would run them
// one request after another: repair a bare layout, activate, install the
// manager links and the job file, check everything, reset.
#include <gtest/gtest.h>

#include "Library/Tools4Ostrakel.h"
#include "tests/support/LayoutTest.h"
#include "platform/PropertyList.h"

namespace ostrakel::testkit {
namespace {

using LifecycleTest = LayoutTest;

TEST_F(LifecycleTest, FromBareLayoutToResetAndBack) {
  const std::string arch = firstArch();
  if (arch.empty()) GTEST_SKIP() << "this machine runs no known architecture";
  const std::string sample = root.bundle(kLTD, "Sample", {arch});
  root.folder("/usr/local/bin");
  root.folder("/Library/LaunchDaemons");

  // Nothing is active yet: the context repair writes the outer links and the
  // bridge's own link, but without a .DefaultTeX folder it cannot be sound.
  EXPECT_FALSE(Tools4Ostrakel::isContextOK());
  ErrorRef error;
  EXPECT_FALSE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(root.linkText(sample + "/Contents/Programs/texbin"), arch);
  EXPECT_EQ(root.linkText("/usr/texbin"), "../Library/TeX/Distributions/Programs/texbin");
  EXPECT_FALSE(Tools4Ostrakel::isContextOK());

  ASSERT_TRUE(Tools4Ostrakel::activateBridgeWithName("Sample", arch, &error)) << error->description();
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
  EXPECT_TRUE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(Tools4Ostrakel::isActiveBridgeAtURL(FileURL{sample}, arch));

  root.program("/Library/PreferencePanes/Switcher.prefPane/Contents/Executables/velmarmgr");
  EXPECT_FALSE(Tools4Ostrakel::is_velmarmgr_OKForName("Switcher.prefPane"));
  EXPECT_TRUE(Tools4Ostrakel::fix_velmarmgr_ForName("Switcher.prefPane", &error));
  EXPECT_TRUE(Tools4Ostrakel::is_velmarmgr_OKForName("Switcher.prefPane"));
  EXPECT_TRUE(Tools4Ostrakel::copyLaunchdInformation(
      PlistValue::dictionary({{"Label", PlistValue::string("brennick.Helper")}}), &error));
  EXPECT_EQ(error, nullptr);

  EXPECT_FALSE(Tools4Ostrakel::isResetOK());
  EXPECT_TRUE(Tools4Ostrakel::resetOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(Tools4Ostrakel::isResetOK());
  EXPECT_FALSE(Tools4Ostrakel::isContextOK());
  EXPECT_TRUE(Tools4Ostrakel::is_velmarmgr_OKForName("Switcher.prefPane")) << "reset keeps the manager link";
  EXPECT_TRUE(root.exists("/Library/LaunchDaemons/brennick.Helper.plist"));

  // Activating again rebuilds what reset removed but the outer links, which
  // the context repair then restores.
  ASSERT_TRUE(Tools4Ostrakel::activateBridgeWithName("Sample", arch, &error));
  EXPECT_FALSE(Tools4Ostrakel::isContextOK());
  EXPECT_TRUE(Tools4Ostrakel::fixContextOrReturnError(&error));
  EXPECT_EQ(error, nullptr);
  EXPECT_TRUE(Tools4Ostrakel::isContextOK());
}

}  // namespace
}  // namespace ostrakel::testkit
