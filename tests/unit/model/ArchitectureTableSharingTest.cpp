// The architecture table is built once and shared by the lookups; every call
// of defaults() must still hand out a table of its own.
#include <gtest/gtest.h>

#include "Library/SystemVersion/SystemVersion.h"
#include "Library/Tools4Ostrakel.h"

namespace ostrakel {
namespace {

TEST(ArchitectureTableSharing, DefaultsAreEqualButIndependentCopies) {
  ArchitectureDefaults first = Tools4Ostrakel::defaults();
  ASSERT_TRUE(first.LSMinimumSystemVersionByArchitecture.count("x86_64"));
  SystemVersionRef changed = first.LSMinimumSystemVersionByArchitecture.at("x86_64");
  changed->setMajor(99);
  first.ExpectedPrograms.clear();
  first.ArchitecturePriorityByArch.erase("x86_64");

  ArchitectureDefaults second = Tools4Ostrakel::defaults();
  EXPECT_EQ(second.LSMinimumSystemVersionByArchitecture.at("x86_64")->description(),
            SystemVersion::systemVersionWithString(std::string("10.4.7"))->description());
  EXPECT_NE(second.LSMinimumSystemVersionByArchitecture.at("x86_64").get(), changed.get());
  EXPECT_EQ(second.ExpectedPrograms.size(), 6u);
  EXPECT_TRUE(second.ArchitecturePriorityByArch.count("x86_64"));
  // The lookups that read the shared table are not disturbed either.
  EXPECT_EQ(Tools4Ostrakel::minimumSystemVersionsByArch().at("x86_64")->major(), 10);
  EXPECT_EQ(Tools4Ostrakel::expectedPrograms(), second.ExpectedPrograms);
}

TEST(ArchitectureTableSharing, LookupsAgreeWithTheTable) {
  const ArchitectureDefaults table = Tools4Ostrakel::defaults();
  auto same = [](const VersionsByArch& a, const VersionsByArch& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [name, version] : a)
      if (!b.count(name) || version->compare(b.at(name)) != 0) return false;
    return true;
  };
  EXPECT_TRUE(same(Tools4Ostrakel::minimumSystemVersionsByArch(), table.LSMinimumSystemVersionByArchitecture));
  EXPECT_TRUE(same(Tools4Ostrakel::maximumSystemVersionsByArch(), table.LSMaximumSystemVersionByArchitecture));
  auto priorities = table.ArchitecturePriorityByArch.find(Tools4Ostrakel::arch());
  EXPECT_EQ(Tools4Ostrakel::architecturePriority(),
            priorities == table.ArchitecturePriorityByArch.end() ? StringList{} : priorities->second);
  EXPECT_EQ(Tools4Ostrakel::architectureNamesOfCPU(Tools4Ostrakel::CPUForArch("x86_64")),
            (StringList{"x86_64", "i386", "ppc"}));
}

}  // namespace
}  // namespace ostrakel
