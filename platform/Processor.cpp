#include "platform/Processor.h"

#include <sys/utsname.h>

#include <mutex>

namespace ostrakel::processor {

namespace {

// For machines that platform never ran on ("any" processor).
constexpr int32_t kUnknownType = -1;

enum class Family { x86, powerPC, other };

struct Mapping {
  Family family;
  bool is64;
};

Mapping mappingFor(const std::string& machine) {
  if (machine == "x86_64") return {Family::x86, true};
  if (machine == "i386" || machine == "i486" || machine == "i586" || machine == "i686")
    return {Family::x86, false};
  if (machine == "ppc64" || machine == "ppc64le") return {Family::powerPC, true};
  if (machine == "ppc") return {Family::powerPC, false};
  return {Family::other, false};
}

std::mutex& overrideMutex() {
  static std::mutex m;
  return m;
}

std::optional<std::string>& machineOverride() {
  static std::optional<std::string> value;
  return value;
}

}  // namespace

std::optional<int32_t> cpuTypeForMachine(const std::string& machine) {
  if (machine.empty()) return std::nullopt;
  switch (mappingFor(machine).family) {
    case Family::x86:
      return kFamilyX86;
    case Family::powerPC:
      return kFamilyPowerPC;
    case Family::other:
      break;
  }
  // A 64-bit ARM processor reports its type with the 64-bit flag already set,
  // as the original platform does; it has no separate capability value.
  // 32-bit ARM keeps its family code so that log lines say what it is.
  if (isARM64Machine(machine)) return kFamilyARM | kFlag64;
  if (machine.starts_with("arm")) return kFamilyARM;
  return kUnknownType;
}

std::optional<int32_t> cpu64BitCapableForMachine(const std::string& machine) {
  Mapping mapping = mappingFor(machine);
  if (mapping.family == Family::other) return std::nullopt;
  return mapping.is64 ? 1 : 0;
}

bool isARM64Machine(const std::string& machine) { return machine == "aarch64" || machine == "arm64"; }

std::string machine() {
  {
    std::lock_guard lock(overrideMutex());
    if (machineOverride()) return *machineOverride();
  }
  // The machine a process runs on cannot change under it: uname(2) is asked
  // once, and every later reading of the processor values (the model reads
  // them again at each use) is answered from that.
  static const std::string running = [] {
    utsname names{};
    return ::uname(&names) == 0 ? std::string(names.machine) : std::string();
  }();
  return running;
}

void setMachineOverride(std::optional<std::string> machine) {
  std::lock_guard lock(overrideMutex());
  machineOverride() = std::move(machine);
}

std::optional<int32_t> readSysctl(const std::string& name) {
  std::string running = machine();
  if (name == "hw.cputype") return cpuTypeForMachine(running);
  // Each capability value exists only for its own family, as on the original
  // platform.
  Family family = mappingFor(running).family;
  if (name == "hw.cpu64bit_capable" && family == Family::x86) return cpu64BitCapableForMachine(running);
  if (name == "hw.optional.64bitops" && family == Family::powerPC)
    return cpu64BitCapableForMachine(running);
  return std::nullopt;
}

}  // namespace ostrakel::processor
