// The processor values derived from the machine name of uname(2).
#include <gtest/gtest.h>

#include "platform/Processor.h"

using namespace ostrakel;

namespace {

struct MachineOverride {
  explicit MachineOverride(const std::string& name) { processor::setMachineOverride(name); }
  ~MachineOverride() { processor::setMachineOverride(std::nullopt); }
};

int32_t family(int32_t type) { return type & 0xFFFFFF; }

}  // namespace

TEST(Processor, IntelAndPowerPCMachinesMapToTheirFamilies) {
  struct Case {
    const char* machine;
    int32_t type;
    const char* capabilityName;
    int32_t capability;
  };
  for (const Case& c : {Case{"x86_64", 7, "hw.cpu64bit_capable", 1},
                        Case{"i386", 7, "hw.cpu64bit_capable", 0},
                        Case{"i686", 7, "hw.cpu64bit_capable", 0},
                        Case{"ppc64", 18, "hw.optional.64bitops", 1},
                        Case{"ppc64le", 18, "hw.optional.64bitops", 1},
                        Case{"ppc", 18, "hw.optional.64bitops", 0}}) {
    MachineOverride machine(c.machine);
    EXPECT_EQ(processor::readSysctl("hw.cputype"), c.type) << c.machine;
    EXPECT_EQ(processor::readSysctl(c.capabilityName), c.capability) << c.machine;
  }
}

// 64-bit ARM carries the 64-bit flag in its type and has no capability value.
TEST(Processor, ARM64MachinesMapToTheFlaggedARMFamily) {
  for (const char* name : {"aarch64", "arm64"}) {
    MachineOverride machine(name);
    EXPECT_EQ(processor::readSysctl("hw.cputype"), 0x100000C) << name;
    EXPECT_FALSE(processor::readSysctl("hw.cpu64bit_capable")) << name;
  }
}

TEST(Processor, CapabilityValuesExistOnlyForTheirFamily) {
  {
    MachineOverride machine("x86_64");
    EXPECT_FALSE(processor::readSysctl("hw.optional.64bitops"));
  }
  {
    MachineOverride machine("ppc64");
    EXPECT_FALSE(processor::readSysctl("hw.cpu64bit_capable"));
  }
  MachineOverride machine("x86_64");
  EXPECT_FALSE(processor::readSysctl("hw.ncpu"));
}

TEST(Processor, OtherMachinesAreAnUnknownFamily) {
  for (const char* name : {"armv7l", "riscv64", "s390x", "x86-64", "X86_64", "i786"}) {
    MachineOverride machine(name);
    std::optional<int32_t> type = processor::readSysctl("hw.cputype");
    ASSERT_TRUE(type) << name;
    EXPECT_NE(family(*type), 7) << name;
    EXPECT_NE(family(*type), 18) << name;
    EXPECT_FALSE(processor::readSysctl("hw.cpu64bit_capable")) << name;
    EXPECT_FALSE(processor::readSysctl("hw.optional.64bitops")) << name;
  }
  EXPECT_FALSE(processor::cpuTypeForMachine(""));
}

TEST(Processor, WithoutOverrideTheRunningMachineIsUsed) {
  processor::setMachineOverride(std::nullopt);
  std::string running = processor::machine();
  EXPECT_FALSE(running.empty());
  EXPECT_EQ(processor::readSysctl("hw.cputype"), processor::cpuTypeForMachine(running));
}
