// Architecture entries and the bridge record: naming, ownership, descriptions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Library/Bridge/Bridge4Ostrakel.h"

namespace ostrakel {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

TEST(ArchitectureEntry, DisplayNameFollowsTheMachinePriority) {
  ArchitectureRef entry = Architecture4Ostrakel::initWithName("i386", "i386", "/p/i386", {});
  EXPECT_EQ(entry->name(), "i386");
  entry->addName("x86_64");
  EXPECT_EQ(entry->name(), "x86_64");
  entry->addName("i386");
  EXPECT_EQ(entry->name(), "x86_64");
  EXPECT_EQ(*entry->names(), (NameSet{"i386", "x86_64"}));

  // A name outside the priority list stays until a listed one arrives.
  ArchitectureRef odd = Architecture4Ostrakel::initWithName("mips", "mips", std::nullopt, {});
  EXPECT_EQ(odd->name(), "mips");
  EXPECT_EQ(odd->destinationPath(), "mips");
  odd->addName("");
  odd->addName(std::nullopt);
  EXPECT_EQ(*odd->names(), NameSet{"mips"});
  odd->addName("i386");
  EXPECT_EQ(odd->name(), "i386");

  ArchitectureRef unnamed = Architecture4Ostrakel::initWithName("", "", "", {});
  EXPECT_TRUE(unnamed->names()->empty());
}

TEST(ArchitectureEntry, DescriptionsAndVersionBounds) {
  auto bridge = std::make_shared<Bridge4Ostrakel>();
  bridge->setDisplayName("Sample TeX 2015");
  ArchitectureRef entry = Architecture4Ostrakel::initWithName("x86_64", "x86_64", "/p/x86_64", bridge);
  EXPECT_EQ(entry->description(), "x86_64");
  EXPECT_EQ(entry->strongDescription(), "x86_64");
  EXPECT_EQ(entry->minimumSystemVersion(), SystemVersion::firstSystemVersion());
  EXPECT_EQ(entry->maximumSystemVersion(), SystemVersion::lastSystemVersion());
  EXPECT_THAT(entry->roughDescription(), MatchesRegex("<Architecture: x86_64 -> x86_64 \\(Sample TeX 2015\\) 0x[0-9a-f]+>"));
  const std::string text = entry->longDescription();
  EXPECT_THAT(text, StartsWith("< Architecture: 0x"));
  EXPECT_THAT(text, HasSubstr("\n  Bridge: Sample TeX 2015\n  Name: x86_64\n  Source (in Programs folder): x86_64\n"
                              "  Destination Folder: /p/x86_64\n  Minimum OS (including): 10.0.0\n"
                              "  Maximum OS (excluding): None\n  All names:\n"));
  EXPECT_THAT(text, HasSubstr("x86_64\n)}\n>"));

  // A maximum equal in value but not the shared instance prints its version.
  auto copy = std::make_shared<SystemVersion>();
  auto last = SystemVersion::lastSystemVersion();
  copy->setMajor(last->major());
  copy->setMinor(last->minor());
  copy->setPatch(last->patch());
  entry->setMaximumSystemVersion(copy);
  EXPECT_THAT(entry->longDescription(), HasSubstr("Maximum OS (excluding): " + last->description() + "\n"));
}

TEST(Ownership, EntriesDoNotKeepTheirBridgeAlive) {
  ArchitectureRef kept;
  std::weak_ptr<Bridge4Ostrakel> watch;
  {
    auto bridge = std::make_shared<Bridge4Ostrakel>();
    bridge->setDisplayName("Gone");
    kept = Architecture4Ostrakel::initWithName("x86_64", "x86_64", "/p", bridge);
    bridge->setArchitectures({kept});
    bridge->setActiveArchitecture(kept);
    EXPECT_EQ(kept->bridge(), bridge);
    EXPECT_EQ(bridge->activeArchitecture(), kept);
    watch = bridge;
  }
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(kept->bridge(), nullptr);
  EXPECT_THAT(kept->roughDescription(), HasSubstr("((null))"));
  EXPECT_THAT(kept->longDescription(), HasSubstr("  Bridge: (null)\n"));
}

TEST(Ownership, ActiveArchitectureDoesNotOwnItsEntry) {
  auto bridge = std::make_shared<Bridge4Ostrakel>();
  {
    auto entry = Architecture4Ostrakel::initWithName("x86_64", "x86_64", "/p", bridge);
    bridge->setActiveArchitecture(entry);
  }
  EXPECT_EQ(bridge->activeArchitecture(), nullptr);
}

TEST(BridgeRecord, Descriptions) {
  auto bridge = std::make_shared<Bridge4Ostrakel>();
  bridge->setDisplayName("Sample TeX 2015");
  bridge->setFileURL(FileURL{"/Library/TeX/Distributions/Sample TeX 2015.velmar"});
  auto entry = Architecture4Ostrakel::initWithName("x86_64", "x86_64", "/p", bridge);
  bridge->setArchitectures({entry});
  EXPECT_THAT(bridge->description(), MatchesRegex("<Bridge Sample TeX 2015 0x[0-9a-f]+>"));
  EXPECT_FALSE(bridge->texbinPath());
  EXPECT_FALSE(bridge->attributedDescription());
  EXPECT_EQ(bridge->selectedArchitecture(), nullptr);
  const std::string text = bridge->longDescription();
  EXPECT_THAT(text, StartsWith("<TeX Bridge: 0x"));
  EXPECT_THAT(text, HasSubstr("\nDisplay name: Sample TeX 2015\nReal volume name: \nVolume name: \n"
                              "File URL: file:///Library/TeX/Distributions/Sample%20TeX%202015.velmar\n"
                              "Active architecture: (null)\nSelected architecture: (null)\n"
                              "Available architectures \n(\n    x86_64\n)\n>"));
}

TEST(BridgeRecord, ChoicesOfEntries) {
  auto bridge = std::make_shared<Bridge4Ostrakel>();
  EXPECT_FALSE(bridge->canBeActive());
  EXPECT_EQ(bridge->defaultArchitecture(), nullptr);
  auto first = Architecture4Ostrakel::initWithName("x86_64", "x86_64", "/a", bridge);
  auto second = Architecture4Ostrakel::initWithName("i386", "i386", "/b", bridge);
  bridge->setArchitectures({first});
  EXPECT_TRUE(bridge->canBeActive());
  EXPECT_FALSE(bridge->canEditArchitecture());
  bridge->setArchitectures({first, second});
  EXPECT_TRUE(bridge->canEditArchitecture());
  EXPECT_EQ(bridge->defaultArchitecture(), first);
  EXPECT_EQ(bridge->architectureWithSource(std::string("i386")), second);
  EXPECT_EQ(bridge->architectureWithSource(std::string(".DefaultArchitecture")), nullptr);
  EXPECT_EQ(bridge->architectureWithSource(std::nullopt), nullptr);
  EXPECT_EQ(bridge->localCopy(), bridge);
}

}  // namespace
}  // namespace ostrakel
