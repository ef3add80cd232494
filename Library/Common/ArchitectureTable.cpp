// The built-in table of machine architectures, the detection of the running
// processor, and the lists derived from both once per process.
#include <algorithm>
#include <cctype>
#include <set>

#include "Library/Common/Logger4Ostrakel.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/Processor.h"

namespace ostrakel {

namespace {

using processor::kFamilyARM;
using processor::kFamilyMask;
using processor::kFamilyPowerPC;
using processor::kFamilyX86;
using processor::kFlag64;
constexpr int32_t kTypeI386 = kFamilyX86;
constexpr int32_t kTypeX86_64 = kFamilyX86 | kFlag64;
constexpr int32_t kTypePPC = kFamilyPowerPC;
constexpr int32_t kTypePPC64 = kFamilyPowerPC | kFlag64;
constexpr int32_t kTypeARM64 = kFamilyARM | kFlag64;

bool containsUniversal(const std::string& identifier) {
  std::string lower = identifier;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("universal") != std::string::npos;
}

bool contains(const StringList& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

namespace {

ArchitectureDefaults buildDefaults() {
  auto v = [](const char* text) { return SystemVersion::systemVersionWithString(std::string(text)); };
  ArchitectureDefaults d;
  // 64-bit ARM came last: it runs from the first system version made for it
  // (11.0.0) with no upper limit, and runs only its own binary sets. Its
  // machines ran Intel programs through a translator, but a Linux machine
  // does not, and no universal set of this table holds ARM code, so offering
  // either would only activate programs that cannot start.
  d.LSMinimumSystemVersionByArchitecture = {{"ppc", v("10.0.0")},   {"i386", v("10.4.4")},
                                            {"x86_64", v("10.4.7")}, {"ppc64", v("10.4.7")},
                                            {"arm64", v("11.0.0")}};
  d.LSMaximumSystemVersionByArchitecture = {{"ppc", v("10.6.0")}, {"ppc64", v("10.6.0")}};
  d.ArchitectureNamesPriorityByArch = {
      {"i386", {"i386", "ppc"}},
      {"ppc", {"ppc"}},
      {"x86_64", {"x86_64", "i386", "ppc"}},
      {"ppc64", {"ppc64", "ppc"}},
      {"arm64", {"arm64"}},
  };
  d.ArchitecturePriorityByArch = {
      {"i386",
       {"i386-darwin", "i386", "x86-darwin", "x86", "universal-darwin", "universal", "ppc-darwin", "ppc",
        "powerpc-darwin", "powerpc"}},
      {"ppc", {"ppc-darwin", "ppc", "powerpc-darwin", "powerpc", "universal-darwin", "universal"}},
      {"x86_64",
       {"x86_64-darwin", "x86_64", "universal_64-darwin", "universal_64", "i386-darwin", "i386",
        "x86-darwin", "x86", "universal-darwin", "universal", "ppc-darwin", "ppc", "powerpc-darwin",
        "powerpc"}},
      {"ppc64",
       {"ppc64-darwin", "ppc64", "powerpc64-darwin", "powerpc64", "universal_64-darwin", "ppc-darwin",
        "ppc", "powerpc-darwin", "powerpc", "universal-darwin", "universal"}},
      {"arm64", {"arm64-darwin", "arm64"}},
  };
  d.ExpectedPrograms = {"tex", "etex", "pdftex", "pdfetex", "xetex", "luatex"};
  d.READMEs = {"For intel machines, universal identifiers must come before intel and ppc",
               "For ppc machines, ppc comes before universal",
               "For intel machines, rosetta is 32 bits only"};
  return d;
}

// The table never changes, so it is built once; reading a bundle consults it
// several times, and rebuilding it (parsing its versions, filling its maps)
// each time was most of the cost of listing many bundles. Its versions are
// immutable and may be shared.
const ArchitectureDefaults& table() {
  static const ArchitectureDefaults shared = buildDefaults();
  return shared;
}

VersionsByArch copyOf(const VersionsByArch& versions) {
  VersionsByArch copy;
  for (const auto& [name, version] : versions) {
    auto fresh = std::make_shared<SystemVersion>();
    fresh->setMajor(version->major());
    fresh->setMinor(version->minor());
    fresh->setPatch(version->patch());
    copy.emplace(name, std::move(fresh));
  }
  return copy;
}

}  // namespace

// Every call still hands out its own, equal table, versions included.
ArchitectureDefaults Tools4Ostrakel::defaults() {
  ArchitectureDefaults d = table();
  d.LSMinimumSystemVersionByArchitecture = copyOf(d.LSMinimumSystemVersionByArchitecture);
  d.LSMaximumSystemVersionByArchitecture = copyOf(d.LSMaximumSystemVersionByArchitecture);
  return d;
}

StringList Tools4Ostrakel::expectedPrograms() { return table().ExpectedPrograms; }

int32_t Tools4Ostrakel::CPUTypeFrom(std::optional<int32_t> cputype, std::optional<int32_t> cpu64bitCapable,
                                    std::optional<int32_t> optional64bitops) {
  // An unreadable type is taken as 0, an unknown family: the machine then
  // runs nothing from the table, which is the safe answer.
  int32_t type = cputype.value_or(0);
  const int32_t family = type & kFamilyMask;
  if (family == kFamilyPowerPC || family == kFamilyX86) {
    const std::optional<int32_t>& capable = family == kFamilyPowerPC ? optional64bitops : cpu64bitCapable;
    if (capable && *capable != 0) type |= kFlag64;
  } else if (type != kTypeARM64) {
    // 64-bit ARM reports its type with the flag already set and needs no
    // capability value; any other family is unknown.
    Logger4Ostrakel::logWithLevel(3, "Ostrakel ERROR: unknown CPU type %lul", {static_cast<int64_t>(type)});
  }
  return type;
}

int32_t Tools4Ostrakel::CPUType() {
  // The capability value is read only for the family it belongs to.
  std::optional<int32_t> type = processor::readSysctl("hw.cputype");
  const int32_t family = type.value_or(0) & kFamilyMask;
  std::optional<int32_t> capable, ops;
  if (family == kFamilyX86) capable = processor::readSysctl("hw.cpu64bit_capable");
  if (family == kFamilyPowerPC) ops = processor::readSysctl("hw.optional.64bitops");
  return CPUTypeFrom(type, capable, ops);
}

std::string Tools4Ostrakel::archForCPU(int32_t type) {
  switch (type) {
    case kTypeI386: return "i386";
    case kTypeX86_64: return "x86_64";
    case kTypePPC: return "ppc";
    case kTypePPC64: return "ppc64";
    case kTypeARM64: return "arm64";
    default: return "default";
  }
}

std::string Tools4Ostrakel::arch() { return archForCPU(CPUType()); }

int32_t Tools4Ostrakel::CPUForArch(const std::string& name) {
  if (name == "ppc") return kTypePPC;
  if (name == "ppc64") return kTypePPC64;
  if (name == "i386" || name == "x86") return kTypeI386;
  if (name == "x86_64") return kTypeX86_64;
  if (name == "arm64") return kTypeARM64;
  return -1;
}

StringList Tools4Ostrakel::architectureNamesOfCPU(int32_t type) {
  const auto& names = table().ArchitectureNamesPriorityByArch;
  auto found = names.find(archForCPU(type));
  return found == names.end() ? StringList{} : found->second;
}

StringList Tools4Ostrakel::architectureNamesFor(int32_t cpuType, const SystemVersion& running) {
  const VersionsByArch minimums = minimumSystemVersionsByArch();
  const VersionsByArch maximums = maximumSystemVersionsByArch();
  StringList kept;
  for (const std::string& name : architectureNamesOfCPU(cpuType)) {
    auto min = minimums.find(name);
    auto max = maximums.find(name);
    SystemVersionRef lowest = min != minimums.end() ? min->second : SystemVersion::firstSystemVersion();
    SystemVersionRef highest = max != maximums.end() ? max->second : SystemVersion::lastSystemVersion();
    // The minimum is inclusive, the maximum exclusive.
    if (running.compare(lowest) != -1 && running.compare(highest) == -1) kept.push_back(name);
  }
  return kept;
}

// Both lists come from the same rule but are kept apart, each made once;
// concurrent first callers wait for the one computation.
const StringList& Tools4Ostrakel::architectureNames() {
  static const StringList names = architectureNamesFor(CPUType(), *SystemVersion::runningSystemVersion());
  return names;
}

const StringList& Tools4Ostrakel::archNames() {
  static const StringList names = architectureNamesFor(CPUType(), *SystemVersion::runningSystemVersion());
  return names;
}

SystemVersionRef Tools4Ostrakel::minimumSystemVersion() {
  const VersionsByArch& minimums = table().LSMinimumSystemVersionByArchitecture;
  auto found = minimums.find(arch());
  return found != minimums.end() ? found->second : SystemVersion::firstSystemVersion();
}

SystemVersionRef Tools4Ostrakel::maximumSystemVersion() {
  const VersionsByArch& maximums = table().LSMaximumSystemVersionByArchitecture;
  auto found = maximums.find(arch());
  return found != maximums.end() ? found->second : SystemVersion::lastSystemVersion();
}

VersionsByArch Tools4Ostrakel::minimumSystemVersionsByArch() {
  return table().LSMinimumSystemVersionByArchitecture;
}

VersionsByArch Tools4Ostrakel::maximumSystemVersionsByArch() {
  return table().LSMaximumSystemVersionByArchitecture;
}

StringList Tools4Ostrakel::architecturePriority() {
  const auto& priorities = table().ArchitecturePriorityByArch;
  auto found = priorities.find(arch());
  return found == priorities.end() ? StringList{} : found->second;
}

std::map<std::string, StringList> Tools4Ostrakel::architecturePriorityByArchFor(const StringList& names) {
  const auto& priorities = table().ArchitecturePriorityByArch;
  // A runnable architecture's own identifiers are the ones its list leads
  // with, up to its first universal entry. They are never excluded: the Intel
  // lists fall back to PowerPC identifiers, and without this a PowerPC machine
  // would lose "ppc" from its own list because the Intel ones are not runnable.
  std::set<std::string> own;
  for (const auto& [machine, identifiers] : priorities) {
    if (!contains(names, machine)) continue;
    for (const std::string& identifier : identifiers) {
      if (containsUniversal(identifier)) break;
      own.insert(identifier);
    }
  }
  // Identifiers of architectures this machine cannot run are excluded
  // everywhere, except the universal ones, which may still hold a runnable set.
  std::set<std::string> excluded;
  for (const auto& [machine, identifiers] : priorities) {
    if (contains(names, machine)) continue;
    for (const std::string& identifier : identifiers)
      if (!containsUniversal(identifier) && !own.count(identifier)) excluded.insert(identifier);
  }
  std::map<std::string, StringList> result;
  for (const auto& [machine, identifiers] : priorities) {
    if (!contains(names, machine)) continue;
    StringList& filtered = result[machine];
    for (const std::string& identifier : identifiers)
      if (!excluded.count(identifier)) filtered.push_back(identifier);
  }
  return result;
}

const std::map<std::string, StringList>& Tools4Ostrakel::architecturePriorityByArch() {
  static const std::map<std::string, StringList> byArch = architecturePriorityByArchFor(archNames());
  return byArch;
}

}  // namespace ostrakel
