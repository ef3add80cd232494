#include <gtest/gtest.h>

#include <filesystem>

#include "Library/Common/LayoutPaths.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/Path.h"
#include "tests/support/TempRoot.h"

using namespace ostrakel;
using ostrakel::testkit::TempRoot;

TEST(RelativePath, EqualPathsGiveADot) {
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a/b", "/a/b"), ".");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a/b/", "/a/b"), ".");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a/b", "/a/b/"), ".");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a//b/.", "/a/./b"), ".");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/", "/"), ".");
}

TEST(RelativePath, UpDownAndAcross) {
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a", "/a/b/c"), "../..");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a/b/c", "/a"), "b/c");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/x/y", "/a/b"), "../../x/y");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a/b/c", "/"), "a/b/c");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/", "/a/b"), "../..");
  // A shared prefix of characters is no shared component.
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/ab/c", "/a"), "../ab/c");
}

TEST(RelativePath, TheDefaultTeXLinkText) {
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/Library/TeX/Distributions/Example.velmar/Contents",
                                        Tools4Ostrakel::LTD_DefaultTeX_Path()),
            "../Example.velmar/Contents");
  // A bridge on another volume.
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/Volumes/Disk/Library/TeX/Distributions/X.velmar/Contents",
                                        Tools4Ostrakel::LTD_DefaultTeX_Path()),
            "../../../../Volumes/Disk/Library/TeX/Distributions/X.velmar/Contents");
}

TEST(RelativePath, DotDotIsFoldedAndCaseMatters) {
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/Library/X", "/library"), "../Library/X");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/a/b/../c", "/a/c/d/.."), ".");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("/../../a", "/a/b"), "..");
}

TEST(RelativePath, RelativeInputs) {
  EXPECT_EQ(pathRelativeToBase4Ostrakel("a/b/c", "a/b"), "c");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("a", "b"), "../a");
  EXPECT_EQ(pathRelativeToBase4Ostrakel("", ""), ".");
}

// Folder values may end in a separator; nothing else is stray.
TEST(LayoutValues, PathsAreStandardAndBuiltFromTheirParts) {
  using T = Tools4Ostrakel;
  auto withoutTrailingSeparator = [](std::string p) { return p.size() > 1 && p.ends_with('/') ? p.substr(0, p.size() - 1) : p; };
  for (const std::string& value :
       {T::LTD_Path(), T::LTD_DefaultTeX_Path(), T::LTD_DefaultTeX_Contents_Path(), T::LTD_texbin_Path(),
        T::Programs_texbin_Path(), T::usr_texbin_Path(), T::LTD_velmarmgr_Path(), T::ULB_velmarmgr_Path(),
        T::velmarmgr_DestinationForName("Example.prefPane"), T::Contents_Component(), T::Programs_RelativePath(),
        T::Programs_texbin_RelativePath()}) {
    const std::string anchored = path::isAbsolute(value) ? value : "/" + value;
    EXPECT_EQ(path::standardize(anchored), withoutTrailingSeparator(anchored)) << value;
  }
  EXPECT_EQ(T::LTD_DefaultTeX_Contents_Path(), path::appendComponent(T::LTD_DefaultTeX_Path(), T::Contents_Component()));
  EXPECT_EQ(T::LTD_texbin_Path(), path::appendComponent(T::LTD_DefaultTeX_Path(), T::Programs_texbin_RelativePath()));
  EXPECT_EQ(T::Programs_texbin_RelativePath(), path::appendComponent(T::Programs_RelativePath(), "texbin"));
}

TEST(LayoutValues, TheChainResolvesToTheActiveArchitecture) {
  // Following the link texts from /usr/texbin must reach the active bridge's
  // texbin: each relative text is read against the folder holding its link.
  using T = Tools4Ostrakel;
  auto resolve = [](const std::string& link, const std::string& text) {
    return path::standardize(path::appendComponent(path::deleteLastComponent(link), text));
  };
  EXPECT_EQ(resolve(T::usr_texbin_Path(), T::usr_texbin_Destination()), T::Programs_texbin_Path());
  EXPECT_EQ(resolve(T::Programs_texbin_Path(), T::Programs_texbin_Destination()), T::LTD_texbin_Path());
}

TEST(LayoutHelpers, BridgeURLsAndStrings) {
  FileURL bridge{"/Library/TeX/Distributions/Example.velmar"};
  EXPECT_EQ(Contents_Path4Ostrakel(bridge), "/Library/TeX/Distributions/Example.velmar/Contents");
  EXPECT_EQ(Programs_Path4Ostrakel(bridge), "/Library/TeX/Distributions/Example.velmar/Contents/Programs");
  EXPECT_EQ(Programs_texbin_Path4Ostrakel(FileURL{"/V/X.velmar/"}), "/V/X.velmar/Contents/Programs/texbin");
  EXPECT_EQ(contentsPath4Ostrakel("/p"), "/p/Contents");
  EXPECT_EQ(basePath4Ostrakel("/p/"), "/p/Base");
  EXPECT_EQ(rootPath4Ostrakel(""), "Root");
  EXPECT_EQ(distributionsPath4Ostrakel("/Library/TeX"), "/Library/TeX/Distributions");
  EXPECT_EQ(stringByAppendingRightNameComponent4Ostrakel("a.b", "c"), "a.b.c");
  EXPECT_EQ(stringByAppendingRightNameComponent4Ostrakel("brennick.Helper.admin", "reset"),
            "brennick.Helper.admin.reset");
}

TEST(LayoutLinks, LinkTextsAreReadFromTheDiskAtEachCall) {
  TempRoot root;
  FileURL bridge{"/Library/TeX/Distributions/Example.velmar"};

  EXPECT_FALSE(Programs_texbin_Destination4Ostrakel(bridge));  // missing
  EXPECT_FALSE(Tools4Ostrakel::LTD_DefaultTeX_Contents_Destination());

  root.folder("/Library/TeX/Distributions/Example.velmar/Contents/Programs/texbin");
  EXPECT_FALSE(Programs_texbin_Destination4Ostrakel(bridge));  // a real folder is no link

  std::filesystem::remove(root.host("/Library/TeX/Distributions/Example.velmar/Contents/Programs/texbin"));
  root.link("/Library/TeX/Distributions/Example.velmar/Contents/Programs/texbin", "x86_64");
  EXPECT_EQ(Programs_texbin_Destination4Ostrakel(bridge), "x86_64");  // dangling, still read

  root.link("/Library/TeX/Distributions/.DefaultTeX/Contents", "../Example.velmar/Contents");
  EXPECT_EQ(Tools4Ostrakel::LTD_DefaultTeX_Contents_Destination(), "../Example.velmar/Contents");
}
