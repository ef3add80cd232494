// Processor queries, in the form of the original system's sysctl values:
// "hw.cputype" (family 7 Intel, 18 PowerPC, 12 ARM, others unknown) and the
// 64-bit capability values. Derived from uname(2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ostrakel::processor {

// Processor-type codes as the original platform numbers them: the family in
// the low 24 bits, kFlag64 for the 64-bit form.
inline constexpr int32_t kFamilyX86 = 7;
inline constexpr int32_t kFamilyARM = 12;
inline constexpr int32_t kFamilyPowerPC = 18;
inline constexpr int32_t kFamilyMask = 0x00FFFFFF;
inline constexpr int32_t kFlag64 = 0x01000000;

// The values for a machine name as uname(2) gives it (x86_64, i686, ppc64, ...).
std::optional<int32_t> cpuTypeForMachine(const std::string& machine);
std::optional<int32_t> cpu64BitCapableForMachine(const std::string& machine);
// Whether a machine name is a 64-bit ARM processor (aarch64, arm64).
bool isARM64Machine(const std::string& machine);

// The same for the running machine. Tests may override the machine name.
std::string machine();
void setMachineOverride(std::optional<std::string> machine);
// Reads a value by its sysctl name ("hw.cputype", "hw.cpu64bit_capable",
// "hw.optional.64bitops"); none when the read fails.
std::optional<int32_t> readSysctl(const std::string& name);

}  // namespace ostrakel::processor
