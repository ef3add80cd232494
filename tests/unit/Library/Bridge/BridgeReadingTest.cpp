// Reading bundles from a temporary root: refusals, names, Info.plist keys,
// and the merging of names that lead to one binary folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "tests/support/TempRoot.h"
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "platform/PropertyList.h"

namespace ostrakel {
namespace {

using testkit::kLTD;
using testkit::TempRoot;

std::string infoPlist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body +
         "</dict>\n</plist>\n";
}

std::set<std::string> sources(const BridgeRef& bridge) {
  std::set<std::string> out;
  for (const auto& entry : bridge->architectures()) out.insert(entry->source());
  return out;
}

TEST(BridgeReading, RefusesOtherExtensionsWithoutAnError) {
  TempRoot root;
  for (const char* name : {"/A.Velmar", "/B.velmarx", "/C"}) {
    root.program(std::string(kLTD) + name + "/Contents/Programs/x86_64/tex");
    ErrorRef error;
    EXPECT_EQ(Bridge4Ostrakel::initWithContentsOfURL(FileURL{std::string(kLTD) + name}, &error), nullptr);
    EXPECT_EQ(error, nullptr);
  }
}

TEST(BridgeReading, RefusesBundlesWithoutBinarySetsWithError110) {
  TempRoot root;
  const std::string noPrograms = root.bundle(kLTD, "Empty", {});
  root.file(noPrograms + "/Contents/Programs/x86_64/README");
  root.file(noPrograms + "/Contents/Programs/x86_64/tex", "not executable", 0644);
  const std::string wrongName = root.bundle(kLTD, "Darwin", {"x86_64-darwin"});
  const std::string missing = std::string(kLTD) + "/Missing.velmar";

  for (const std::string& path : {noPrograms, wrongName, missing}) {
    SCOPED_TRACE(path);
    ErrorRef error;
    EXPECT_EQ(Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, &error), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->domain, "OstrakelErrorDomain");
    EXPECT_EQ(error->code, 110);
    EXPECT_EQ(error->userInfo.localizedDescription, "Wrong set of binaries");
    EXPECT_EQ(error->userInfo.url, FileURL{path}.absoluteString());
  }

  // An error already in the caller's slot is kept.
  ErrorRef earlier = makeError("Earlier", 1, {});
  ErrorRef slot = earlier;
  EXPECT_EQ(Bridge4Ostrakel::initWithContentsOfURL(FileURL{noPrograms}, &slot), nullptr);
  EXPECT_EQ(slot, earlier);
}

TEST(BridgeReading, NamesAndVolume) {
  TempRoot root;
  const std::string local = root.bundle(kLTD, "Sample TeX 2015");
  const std::string external = root.bundle(std::string("/Volumes/Ext Disk") + kLTD, "2016(Ext \"1\")");

  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{local}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->displayName(), "Sample TeX 2015");
  EXPECT_EQ(bridge->baseName(), "Sample TeX 2015");
  EXPECT_EQ(bridge->numberName() + bridge->headerName() + bridge->trailerName() + bridge->volumeName(), "");
  EXPECT_EQ(bridge->realVolumeName(), "");
  EXPECT_EQ(bridge->LTD_DefaultTeX_Contents_Destination(), "../Sample TeX 2015.velmar/Contents");

  bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{external}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->displayName(), "2016(Ext \"1\")");
  EXPECT_EQ(bridge->numberName(), "2016");
  EXPECT_EQ(bridge->volumeName(), "Ext \"1\"");
  EXPECT_EQ(bridge->realVolumeName(), "Ext Disk");
  EXPECT_EQ(bridge->LTD_DefaultTeX_Contents_Destination(),
            "../../../../Volumes/Ext Disk/Library/TeX/Distributions/2016(Ext \"1\").velmar/Contents");
}

TEST(BridgeReading, DatesAndPseudoEntry) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Dated", {"x86_64", "i386"});
  root.setModificationTime(path, 1400000000);
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  ASSERT_TRUE(bridge->modificationDate());
  EXPECT_EQ(bridge->modificationDate()->secondsSince1970, 1400000000);
  EXPECT_TRUE(bridge->creationDate());

  auto entries = bridge->architectures();
  auto forUI = bridge->architectures4UI();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]->source(), "x86_64");
  EXPECT_EQ(entries[1]->source(), "i386");
  EXPECT_EQ(entries[0]->destinationPath(), path + "/Contents/Programs/x86_64");
  ASSERT_EQ(forUI.size(), 3u);
  EXPECT_EQ(forUI[2]->name(), ".DefaultArchitecture");
  EXPECT_EQ(forUI[2]->source(), ".DefaultArchitecture");
  EXPECT_EQ(forUI[2]->destinationPath(), "");
  EXPECT_EQ(bridge->defaultArchitecture(), entries[0]);
  for (const auto& entry : forUI) EXPECT_EQ(entry->bridge(), bridge);
}

TEST(BridgeReading, NamesLeadingToOneFolderMergeIntoOneEntry) {
  TempRoot root;
  // Both listed names link to a folder whose own name is not runnable.
  const std::string a = root.bundle(kLTD, "A", {"x86_64-darwin"}, "x86_64");
  root.link(a + "/Contents/Programs/x86_64", "x86_64-darwin");
  root.link(a + "/Contents/Programs/i386", "x86_64-darwin");
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{a}, nullptr);
  ASSERT_NE(bridge, nullptr);
  ASSERT_EQ(bridge->architectures().size(), 1u);
  auto entry = bridge->architectures()[0];
  EXPECT_EQ(entry->source(), "x86_64");
  EXPECT_EQ(entry->name(), "x86_64");
  EXPECT_EQ(*entry->names(), (NameSet{"i386", "x86_64"}));
  EXPECT_EQ(entry->destinationPath(), a + "/Contents/Programs/x86_64-darwin");

  // "i386" links to the real folder "x86_64": only the folder's own name.
  const std::string b = root.bundle(kLTD, "B", {"x86_64"});
  root.link(b + "/Contents/Programs/i386", "x86_64");
  bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{b}, nullptr);
  ASSERT_NE(bridge, nullptr);
  ASSERT_EQ(bridge->architectures().size(), 1u);
  EXPECT_EQ(*bridge->architectures()[0]->names(), NameSet{"x86_64"});

  // "x86_64" links to the real folder "i386": the entry takes that name.
  const std::string c = root.bundle(kLTD, "C", {"i386"});
  root.link(c + "/Contents/Programs/x86_64", "i386");
  bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{c}, nullptr);
  ASSERT_NE(bridge, nullptr);
  ASSERT_EQ(bridge->architectures().size(), 1u);
  EXPECT_EQ(bridge->architectures()[0]->source(), "x86_64");
  EXPECT_EQ(bridge->architectures()[0]->name(), "i386");
}

TEST(BridgeReading, BrokenProgramFoldersAreLeftOut) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Links", {"i386"});
  root.link(path + "/Contents/Programs/x86_64", "nowhere");
  root.link(path + "/Contents/Programs/loop", "loop");
  root.link(path + "/Contents/Programs/i386/tex", "../../../../../../../../etc/tex");
  root.link(path + "/Contents/Programs/i386/etex", "etex");
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(sources(bridge), std::set<std::string>{"i386"});

  // A program that is a link to an executable counts.
  const std::string linked = root.bundle(kLTD, "Linked", {"x86_64"});
  std::filesystem::remove(root.host(linked + "/Contents/Programs/x86_64/pdftex"));
  root.program("/opt/tex/bin/luatex");
  root.link(linked + "/Contents/Programs/x86_64/luatex", "/opt/tex/bin/luatex");
  bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{linked}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(sources(bridge), std::set<std::string>{"x86_64"});
}

TEST(BridgeReading, ProgramsThatIsNoFolderGives110) {
  TempRoot root;
  const std::string file = root.bundle(kLTD, "File", {});
  std::filesystem::remove(root.host(file + "/Contents/Programs"));
  root.file(file + "/Contents/Programs", "x86_64");
  const std::string dangling = root.bundle(kLTD, "Dangling", {});
  std::filesystem::remove(root.host(dangling + "/Contents/Programs"));
  root.link(dangling + "/Contents/Programs", "../../Elsewhere");
  for (const std::string& path : {file, dangling}) {
    ErrorRef error;
    EXPECT_EQ(Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, &error), nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->code, 110);
  }
}

TEST(InfoPlist, MissingFileGivesTheDefaults) {
  TempRoot root;
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{root.bundle(kLTD, "Plain")}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->minimumSystemVersion()->description(), Tools4Ostrakel::minimumSystemVersion()->description());
  EXPECT_EQ(bridge->maximumSystemVersion(), Tools4Ostrakel::maximumSystemVersion());
  EXPECT_EQ(bridge->architecturePriority(), Tools4Ostrakel::architecturePriority());
  EXPECT_EQ(bridge->minimumSystemVersionsByArch().size(), Tools4Ostrakel::minimumSystemVersionsByArch().size());
  EXPECT_EQ(bridge->maximumSystemVersionsByArch().size(), Tools4Ostrakel::maximumSystemVersionsByArch().size());
}

TEST(InfoPlist, KeysOfTheRightKind) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Keys");
  root.file(path + "/Contents/Info.plist",
            infoPlist("<key>LSMinimumSystemVersion</key><string>10.9.1</string>\n"
                      "<key>LSMaximumSystemVersion</key><string>11.2</string>\n"
                      "<key>LSArchitecturePriority</key><array><string>i386</string><integer>3</integer>"
                      "<string>x86_64</string></array>\n"
                      "<key>LSMinimumSystemVersionByArchitecture</key><dict><key>x86_64</key>"
                      "<string>10.6</string><key>i386</key><integer>5</integer></dict>\n"));
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->minimumSystemVersion()->description(), "10.9.1");
  EXPECT_EQ(bridge->maximumSystemVersion()->description(), "11.2.0");
  EXPECT_EQ(bridge->architecturePriority(), (StringList{"i386", "x86_64"}));
  auto byArch = bridge->minimumSystemVersionsByArch();
  ASSERT_EQ(byArch.size(), 1u);
  EXPECT_EQ(byArch.at("x86_64")->description(), "10.6.0");
  EXPECT_EQ(bridge->maximumSystemVersionsByArch().size(), Tools4Ostrakel::maximumSystemVersionsByArch().size());
}

TEST(InfoPlist, ValuesOfTheWrongKindFallBackOrFilter) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Wrong");
  root.file(path + "/Contents/Info.plist",
            infoPlist("<key>LSMinimumSystemVersion</key><array/>\n"
                      "<key>LSArchitecturePriority</key><array><integer>1</integer><real>2.5</real></array>\n"
                      "<key>LSMinimumSystemVersionByArchitecture</key><string>10.6</string>\n"
                      "<key>LSMaximumSystemVersionByArchitecture</key><dict><key>ppc</key><dict/></dict>\n"));
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  // A present non-string version counts as 10.0.0 (the lenient conversion).
  EXPECT_EQ(bridge->minimumSystemVersion()->description(), "10.0.0");
  EXPECT_TRUE(bridge->architecturePriority().empty());
  EXPECT_EQ(bridge->minimumSystemVersionsByArch().size(), Tools4Ostrakel::minimumSystemVersionsByArch().size());
  EXPECT_TRUE(bridge->maximumSystemVersionsByArch().empty());

  root.file(path + "/Contents/Info.plist", infoPlist("<key>LSArchitecturePriority</key><string>i386</string>\n"));
  bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->architecturePriority(), Tools4Ostrakel::architecturePriority());
}

TEST(InfoPlist, HostileFilesNeverStopTheReading) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Hostile");
  std::string deep;
  std::string closing;
  for (int i = 0; i < 100000; ++i) {
    deep += "<array>";
    closing += "</array>";
  }
  const std::string bodies[] = {
      std::string("\x00\x01garbage", 9),
      "bplist00\xff\xff\xff\xff",
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>",
      infoPlist("<key>LSMinimumSystemVersion</key><string>" + std::string(1 << 20, '9') + "</string>\n"),
      infoPlist("<key>LSArchitecturePriority</key>" + deep),
      infoPlist("<key>LSArchitecturePriority</key>" + deep + closing),
      infoPlist("<key>LSMinimumSystemVersion</key><string>10.-3.x</string>\n"),
  };
  for (const std::string& body : bodies) {
    root.file(path + "/Contents/Info.plist", body);
    BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
    ASSERT_NE(bridge, nullptr);
    EXPECT_NE(bridge->minimumSystemVersion(), nullptr);
    EXPECT_EQ(bridge->architectures().size(), 1u);
  }
  // A folder where the file should be.
  std::filesystem::remove(root.host(path + "/Contents/Info.plist"));
  root.folder(path + "/Contents/Info.plist");
  EXPECT_NE(Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr), nullptr);
}

TEST(InfoPlist, AFifoInPlaceOfTheFileDoesNotHangTheReading) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Fifo");
  const std::string fifo = root.host(path + "/Contents/Info.plist");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  auto reading = std::async(std::launch::async, [&] {
    return Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr) != nullptr;
  });
  if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "reading blocked on the FIFO";
    int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // releases the blocked reader
    if (writer >= 0) close(writer);
  }
  EXPECT_TRUE(reading.get());
}

TEST(InfoPlist, BinaryFormIsRead) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Binary");
  PlistDictionary keys;
  keys["LSMinimumSystemVersion"] = PlistValue::string("10.8");
  auto bytes = plist::toBinary(*PlistValue::dictionary(keys));
  ASSERT_TRUE(bytes);
  root.file(path + "/Contents/Info.plist", *bytes);
  BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
  ASSERT_NE(bridge, nullptr);
  EXPECT_EQ(bridge->minimumSystemVersion()->description(), "10.8.0");
}

TEST(InfoPlist, ByteOrderMarksAndUTF16AreRead) {
  TempRoot root;
  const std::string path = root.bundle(kLTD, "Encoded");
  // A name with a character beyond ASCII (U+00E9) and one beyond the basic
  // plane (U+1D54B), which UTF-16 writes as a surrogate pair.
  const std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist version=\"1.0\"><dict>"
                              u"<key>CFBundleName</key><string>T\u00e9X \U0001D54B</string>"
                              u"<key>LSMinimumSystemVersion</key><string>10.7.2</string></dict></plist>\n";
  auto utf16 = [&](bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
      const char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
      out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
  };
  const std::string name = "T\xC3\xA9X \xF0\x9D\x95\x8B";
  const std::string utf8WithMark =
      "\xEF\xBB\xBF" + infoPlist("<key>CFBundleName</key><string>" + name +
                                  "</string><key>LSMinimumSystemVersion</key><string>10.7.2</string>\n");
  for (const std::string& bytes : {utf8WithMark, utf16(true), utf16(false)}) {
    root.file(path + "/Contents/Info.plist", bytes);
    BridgeRef bridge = Bridge4Ostrakel::initWithContentsOfURL(FileURL{path}, nullptr);
    ASSERT_NE(bridge, nullptr);
    EXPECT_EQ(bridge->minimumSystemVersion()->description(), "10.7.2");
    PlistRef keys = plist::dictionaryWithContentsOfFile(path + "/Contents/Info.plist");
    PlistRef value = keys ? keys->get("CFBundleName") : nullptr;
    ASSERT_TRUE(value && value->asString());
    EXPECT_EQ(*value->asString(), name);
  }
}

TEST(InfoPlist, Validation) {
  PlistRef value;
  EXPECT_FALSE(Bridge4Ostrakel::validateArchitecturePriority(nullptr, nullptr));
  EXPECT_TRUE(Bridge4Ostrakel::validateArchitecturePriority(&value, nullptr));
  ASSERT_NE(value, nullptr);
  EXPECT_TRUE(value->asArray()->empty());
  value = PlistValue::integer(3);
  EXPECT_FALSE(Bridge4Ostrakel::validateArchitecturePriority(&value, nullptr));

  VersionsByArch versions;
  EXPECT_FALSE(Bridge4Ostrakel::validateMinimumSystemVersionsByArch(nullptr, &versions, nullptr));
  PlistRef none;
  EXPECT_TRUE(Bridge4Ostrakel::validateMaximumSystemVersionsByArch(&none, &versions, nullptr));
  EXPECT_TRUE(versions.empty());

  SystemVersionRef version;
  EXPECT_FALSE(Bridge4Ostrakel::validateMinimumSystemVersion(nullptr, nullptr));
  EXPECT_FALSE(Bridge4Ostrakel::validateMinimumSystemVersion(&version, nullptr));
  version = SystemVersion::firstSystemVersion();
  EXPECT_TRUE(Bridge4Ostrakel::validateMaximumSystemVersion(&version, nullptr));
}

}  // namespace
}  // namespace ostrakel
