#include <gtest/gtest.h>

#include <optional>

#include "Library/Tools4Ostrakel.h"
#include "Library/Common/Logger4Ostrakel.h"
#include "tests/support/TempRoot.h"
#include "platform/ProcessInfo.h"
#include "platform/Processor.h"

using namespace ostrakel;
using T = Tools4Ostrakel;

namespace {

constexpr int32_t kI386 = 7, kX86_64 = 16777223, kPPC = 18, kPPC64 = 16777234, kARM64 = 16777228;

StringList namesOn(int32_t cpu, const std::string& system) {
  return T::architectureNamesFor(cpu, *SystemVersion::systemVersionWithString(system));
}

}  // namespace

TEST(ProcessorTypes, ArchitectureNamesOfTypes) {
  EXPECT_EQ(T::archForCPU(kI386), "i386");
  EXPECT_EQ(T::archForCPU(kX86_64), "x86_64");
  EXPECT_EQ(T::archForCPU(kPPC), "ppc");
  EXPECT_EQ(T::archForCPU(kPPC64), "ppc64");
  EXPECT_EQ(T::archForCPU(kARM64), "arm64");
  EXPECT_EQ(T::archForCPU(0), "default");
  EXPECT_EQ(T::archForCPU(12), "default");
  EXPECT_EQ(T::archForCPU(16777216), "default");           // the 64-bit flag alone
  EXPECT_EQ(T::archForCPU(kI386 | 0x02000000), "default");  // known family, other flags
  EXPECT_EQ(T::archForCPU(-1), "default");
}

TEST(ProcessorTypes, TypesOfArchitectureNames) {
  EXPECT_EQ(T::CPUForArch("ppc"), kPPC);
  EXPECT_EQ(T::CPUForArch("ppc64"), kPPC64);
  EXPECT_EQ(T::CPUForArch("i386"), kI386);
  EXPECT_EQ(T::CPUForArch("x86"), kI386);
  EXPECT_EQ(T::CPUForArch("x86_64"), kX86_64);
  EXPECT_EQ(T::CPUForArch("X86_64"), -1);
  EXPECT_EQ(T::CPUForArch("arm64"), kARM64);
  EXPECT_EQ(T::CPUForArch("aarch64"), -1);
  EXPECT_EQ(T::CPUForArch(""), -1);
}

TEST(ProcessorTypes, DetectionFromTheMachineValues) {
  EXPECT_EQ(T::CPUTypeFrom(7, 1, std::nullopt), kX86_64);
  EXPECT_EQ(T::CPUTypeFrom(7, 0, std::nullopt), kI386);
  EXPECT_EQ(T::CPUTypeFrom(7, std::nullopt, std::nullopt), kI386);  // failed capability read
  EXPECT_EQ(T::CPUTypeFrom(7, std::nullopt, 1), kI386);             // the PowerPC value is not Intel's
  EXPECT_EQ(T::CPUTypeFrom(18, std::nullopt, 1), kPPC64);
  EXPECT_EQ(T::CPUTypeFrom(18, 1, 0), kPPC);
  EXPECT_EQ(T::CPUTypeFrom(18, std::nullopt, std::nullopt), kPPC);
  // Flags already in the type are kept; the family alone decides.
  EXPECT_EQ(T::CPUTypeFrom(kX86_64, 0, std::nullopt), kX86_64);
  // Unknown families stay as they are, whatever the capability says.
  EXPECT_EQ(T::CPUTypeFrom(12, 1, 1), 12);
  EXPECT_EQ(T::CPUTypeFrom(std::nullopt, 1, 1), 0);
}

TEST(ProcessorTypes, UnknownFamiliesAreLoggedAsErrors) {
  ostrakel::testkit::TempRoot root;
  ASSERT_TRUE(root.listenOnDevLog());
  Logger4Ostrakel::start();
  while (root.nextText(200)) {
  }  // the logger's own start-up lines
  T::CPUTypeFrom(12, std::nullopt, std::nullopt);
  EXPECT_EQ(root.nextText(), "Ostrakel ERROR: unknown CPU type 12l");
  // Widened with its sign, printed unsigned.
  T::CPUTypeFrom(-1, std::nullopt, std::nullopt);
  EXPECT_EQ(root.nextText(), "Ostrakel ERROR: unknown CPU type 18446744073709551615l");
  T::CPUTypeFrom(7, 1, std::nullopt);
  T::CPUTypeFrom(18, std::nullopt, 0);
  T::CPUTypeFrom(kARM64, std::nullopt, std::nullopt);
  EXPECT_FALSE(root.nextText(200));  // known families are quiet
  processor::setMachineOverride(std::string("armv7l"));
  EXPECT_EQ(T::arch(), "default");
  auto line = root.nextText();
  ASSERT_TRUE(line);
  EXPECT_EQ(line->rfind("Ostrakel ERROR: unknown CPU type ", 0), 0u) << *line;
  processor::setMachineOverride(std::nullopt);
  Logger4Ostrakel::stop();
}

TEST(ProcessorTypes, RunningMachineFollowsTheProcessorQueries) {
  struct Case { const char* machine; int32_t type; const char* arch; };
  for (const Case& c : {Case{"x86_64", kX86_64, "x86_64"}, Case{"i686", kI386, "i386"},
                        Case{"ppc64", kPPC64, "ppc64"}, Case{"ppc", kPPC, "ppc"},
                        Case{"aarch64", kARM64, "arm64"}, Case{"riscv64", -2, "default"}}) {
    processor::setMachineOverride(std::string(c.machine));
    if (c.type != -2) {
      EXPECT_EQ(T::CPUType(), c.type) << c.machine;
    }
    EXPECT_EQ(T::arch(), c.arch) << c.machine;
  }
  processor::setMachineOverride(std::string("ppc"));
  EXPECT_EQ(T::maximumSystemVersion()->description(), "10.6.0");
  EXPECT_EQ(T::minimumSystemVersion()->description(), "10.0.0");
  processor::setMachineOverride(std::string("x86_64"));
  EXPECT_EQ(T::minimumSystemVersion()->description(), "10.4.7");
  EXPECT_EQ(T::maximumSystemVersion(), SystemVersion::lastSystemVersion());
  StringList priority = T::architecturePriority();
  ASSERT_EQ(priority.size(), 14u);  // unfiltered: the PowerPC identifiers stay
  EXPECT_EQ(priority.front(), "x86_64-darwin");
  EXPECT_EQ(priority.back(), "powerpc");
  processor::setMachineOverride(std::string("aarch64"));
  EXPECT_EQ(T::architecturePriority(), (StringList{"arm64-darwin", "arm64"}));
  EXPECT_EQ(T::minimumSystemVersion()->description(), "11.0.0");
  processor::setMachineOverride(std::string("riscv64"));
  EXPECT_TRUE(T::architecturePriority().empty());
  EXPECT_EQ(T::minimumSystemVersion(), SystemVersion::firstSystemVersion());
  EXPECT_EQ(T::maximumSystemVersion(), SystemVersion::lastSystemVersion());
  processor::setMachineOverride(std::nullopt);
}

TEST(RunnableNames, EachMachineBeforeAndAfterThePowerPCLimit) {
  EXPECT_EQ(namesOn(kX86_64, "10.5.8"), (StringList{"x86_64", "i386", "ppc"}));
  EXPECT_EQ(namesOn(kX86_64, "10.9"), (StringList{"x86_64", "i386"}));
  EXPECT_EQ(namesOn(kI386, "10.5.8"), (StringList{"i386", "ppc"}));
  EXPECT_EQ(namesOn(kI386, "10.6.0"), (StringList{"i386"}));
  EXPECT_EQ(namesOn(kPPC64, "10.5"), (StringList{"ppc64", "ppc"}));
  EXPECT_EQ(namesOn(kPPC64, "10.6.0"), StringList{});
  EXPECT_EQ(namesOn(kPPC, "10.3.9"), (StringList{"ppc"}));
  EXPECT_EQ(namesOn(kPPC, "10.15.7"), StringList{});
  EXPECT_EQ(namesOn(12, "10.5"), StringList{});
  EXPECT_EQ(namesOn(0, "10.15.7"), StringList{});
}

TEST(RunnableNames, MinimumInclusiveMaximumExclusive) {
  EXPECT_EQ(namesOn(kX86_64, "10.4.7"), (StringList{"x86_64", "i386", "ppc"}));
  EXPECT_EQ(namesOn(kX86_64, "10.4.6"), (StringList{"i386", "ppc"}));
  EXPECT_EQ(namesOn(kI386, "10.4.4"), (StringList{"i386", "ppc"}));
  EXPECT_EQ(namesOn(kI386, "10.4.3"), (StringList{"ppc"}));
  EXPECT_EQ(namesOn(kPPC, "10.5.99"), (StringList{"ppc"}));
  EXPECT_EQ(namesOn(kPPC64, "10.4.6"), (StringList{"ppc"}));
}

TEST(RunnableNames, CachedListsAreStableAndAgreeWithTheRule) {
  const StringList& names = T::architectureNames();
  EXPECT_EQ(&names, &T::architectureNames());
  EXPECT_EQ(T::archNames(), names);
  EXPECT_EQ(T::architecturePriorityByArch(), T::architecturePriorityByArchFor(T::archNames()));
}

TEST(PriorityByArch, IntelAfterThePowerPCLimit) {
  auto byArch = T::architecturePriorityByArchFor({"x86_64", "i386"});
  ASSERT_EQ(byArch.size(), 2u);
  EXPECT_EQ(byArch["x86_64"], (StringList{"x86_64-darwin", "x86_64", "universal_64-darwin", "universal_64",
                                          "i386-darwin", "i386", "x86-darwin", "x86", "universal-darwin",
                                          "universal"}));
  EXPECT_EQ(byArch["i386"],
            (StringList{"i386-darwin", "i386", "x86-darwin", "x86", "universal-darwin", "universal"}));
}

// A PowerPC machine keeps its own identifiers although the (not runnable)
// Intel lists also name them as their last resort.
TEST(PriorityByArch, PowerPCKeepsItsOwnAndUniversalButDropsIntel) {
  auto byArch = T::architecturePriorityByArchFor({"ppc"});
  ASSERT_EQ(byArch.size(), 1u);
  EXPECT_EQ(byArch["ppc"],
            (StringList{"ppc-darwin", "ppc", "powerpc-darwin", "powerpc", "universal-darwin", "universal"}));
  auto ppc64 = T::architecturePriorityByArchFor({"ppc64", "ppc"});
  EXPECT_EQ(ppc64["ppc64"], (StringList{"ppc64-darwin", "ppc64", "powerpc64-darwin", "powerpc64",
                                        "universal_64-darwin", "ppc-darwin", "ppc", "powerpc-darwin",
                                        "powerpc", "universal-darwin", "universal"}));
  EXPECT_TRUE(T::architecturePriorityByArchFor({}).empty());
}

TEST(PriorityByArch, RunnablePowerPCSetsStayOnIntelBeforeTheLimit) {
  auto byArch = T::architecturePriorityByArchFor({"x86_64", "i386", "ppc"});
  ASSERT_EQ(byArch.size(), 3u);
  EXPECT_EQ(byArch["x86_64"].size(), 14u);  // only ppc64 identifiers could go, and it names none here
  EXPECT_EQ(byArch["i386"].size(), 10u);
  auto i386 = T::architecturePriorityByArchFor({"i386", "ppc"});
  EXPECT_EQ(i386["i386"].size(), 10u);
  EXPECT_EQ(i386["ppc"].size(), 6u);
}

TEST(ArchitectureDefaults, FreshEqualTablesWithTheirKeys) {
  ArchitectureDefaults a = T::defaults(), b = T::defaults();
  EXPECT_EQ(a.ArchitecturePriorityByArch, b.ArchitecturePriorityByArch);
  EXPECT_EQ(a.LSMinimumSystemVersionByArchitecture.size(), 5u);
  EXPECT_EQ(a.LSMaximumSystemVersionByArchitecture.size(), 2u);
  for (const auto& [arch, version] : a.LSMinimumSystemVersionByArchitecture) {
    EXPECT_NE(version, b.LSMinimumSystemVersionByArchitecture.at(arch)) << arch;  // not shared
    EXPECT_EQ(version->compare(b.LSMinimumSystemVersionByArchitecture.at(arch)), 0) << arch;
  }
  EXPECT_EQ(a.LSMinimumSystemVersionByArchitecture.at("i386")->description(), "10.4.4");
  EXPECT_EQ(a.LSMaximumSystemVersionByArchitecture.at("ppc64")->description(), "10.6.0");
  EXPECT_EQ(T::expectedPrograms(), (StringList{"tex", "etex", "pdftex", "pdfetex", "xetex", "luatex"}));
  EXPECT_EQ(a.READMEs.size(), 3u);
  // A caller changing its copy does not change the next one.
  a.ExpectedPrograms.clear();
  a.LSMinimumSystemVersionByArchitecture.at("ppc")->setMajor(99);
  EXPECT_EQ(T::expectedPrograms().size(), 6u);
  EXPECT_EQ(T::minimumSystemVersionsByArch().at("ppc")->description(), "10.0.0");
}

// The table is built once and shared by the lookups.
TEST(ArchitectureDefaults, LookupsAgreeWithTheTable) {
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

// 64-bit ARM was added beside the four original machines, which must read
// exactly as before: same runnable names, identifiers and limits, in order.
TEST(ArchitectureDefaults, OriginalMachinesUnchangedBesideARM64) {
  ArchitectureDefaults d = T::defaults();
  EXPECT_EQ(d.ArchitectureNamesPriorityByArch,
            (std::map<std::string, StringList>{{"i386", {"i386", "ppc"}},
                                               {"ppc", {"ppc"}},
                                               {"x86_64", {"x86_64", "i386", "ppc"}},
                                               {"ppc64", {"ppc64", "ppc"}},
                                               {"arm64", {"arm64"}}}));
  EXPECT_EQ(d.ArchitecturePriorityByArch.size(), 5u);
  EXPECT_EQ(d.ArchitecturePriorityByArch["i386"],
            (StringList{"i386-darwin", "i386", "x86-darwin", "x86", "universal-darwin", "universal", "ppc-darwin",
                        "ppc", "powerpc-darwin", "powerpc"}));
  EXPECT_EQ(d.ArchitecturePriorityByArch["ppc"],
            (StringList{"ppc-darwin", "ppc", "powerpc-darwin", "powerpc", "universal-darwin", "universal"}));
  EXPECT_EQ(d.ArchitecturePriorityByArch["x86_64"],
            (StringList{"x86_64-darwin", "x86_64", "universal_64-darwin", "universal_64", "i386-darwin", "i386",
                        "x86-darwin", "x86", "universal-darwin", "universal", "ppc-darwin", "ppc",
                        "powerpc-darwin", "powerpc"}));
  EXPECT_EQ(d.ArchitecturePriorityByArch["ppc64"],
            (StringList{"ppc64-darwin", "ppc64", "powerpc64-darwin", "powerpc64", "universal_64-darwin",
                        "ppc-darwin", "ppc", "powerpc-darwin", "powerpc", "universal-darwin", "universal"}));
  EXPECT_EQ(d.ArchitecturePriorityByArch["arm64"], (StringList{"arm64-darwin", "arm64"}));
  std::map<std::string, std::string> minimums, maximums;
  for (const auto& [arch, version] : d.LSMinimumSystemVersionByArchitecture) minimums[arch] = version->description();
  for (const auto& [arch, version] : d.LSMaximumSystemVersionByArchitecture) maximums[arch] = version->description();
  EXPECT_EQ(minimums, (std::map<std::string, std::string>{{"ppc", "10.0.0"}, {"i386", "10.4.4"},
                                                          {"x86_64", "10.4.7"}, {"ppc64", "10.4.7"},
                                                          {"arm64", "11.0.0"}}));
  EXPECT_EQ(maximums, (std::map<std::string, std::string>{{"ppc", "10.6.0"}, {"ppc64", "10.6.0"}}));
}

// An aarch64 machine without a system version file runs its own binary sets,
// and only those; an Intel one keeps its Intel sets.
TEST(RunnableNames, EachMachineRunsItsOwnSetsOnItsDefaultSystemVersion) {
  ostrakel::testkit::TempRoot root;  // no SystemVersion.plist inside
  for (const char* machine : {"aarch64", "x86_64"}) {
    processor::setMachineOverride(std::string(machine));
    processinfo::OperatingSystemVersion os = processinfo::readOperatingSystemVersion();
    auto running = SystemVersion::systemVersionWithString(
        std::to_string(os.major) + "." + std::to_string(os.minor) + "." + std::to_string(os.patch));
    StringList names = T::architectureNamesFor(T::CPUType(), *running);
    EXPECT_EQ(names, std::string(machine) == "aarch64" ? StringList{"arm64"} : (StringList{"x86_64", "i386"}))
        << machine;
    EXPECT_EQ(T::architecturePriorityByArchFor(names).count(T::arch()), 1u) << machine;
  }
  processor::setMachineOverride(std::nullopt);
}
