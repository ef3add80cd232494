// Process information: the running system version read from the root's
// SystemVersion.plist with its default, the home folder and the process name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ProcessInfo.h"
#include "platform/Processor.h"
#include "platform/PropertyList.h"
#include "tests/support/TempRoot.h"

using namespace ostrakel;

namespace {

constexpr const char* kFile = "/System/Library/CoreServices/SystemVersion.plist";

void writeVersionFile(testkit::TempRoot& root, const std::string& bytes) {
  std::filesystem::create_directories(root.host("/System/Library/CoreServices"));
  std::ofstream(root.host(kFile), std::ios::binary | std::ios::trunc) << bytes;
}

std::string versionPlist(PlistRef value) {
  return *plist::toXML(*PlistValue::dictionary({{"ProductVersion", std::move(value)}}));
}

std::tuple<int64_t, int64_t, int64_t> triple(processinfo::OperatingSystemVersion v) {
  return {v.major, v.minor, v.patch};
}

}  // namespace

TEST(ProcessInfo, ProductVersionIsReadFromTheRoot) {
  testkit::TempRoot root;
  writeVersionFile(root, versionPlist(PlistValue::string("10.9.5")));
  EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), std::make_tuple(10, 9, 5));
  writeVersionFile(root, versionPlist(PlistValue::string("11.2")));
  EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), std::make_tuple(11, 2, 0));
  writeVersionFile(root, *plist::toBinary(*PlistValue::dictionary(
                             {{"ProductVersion", PlistValue::string("10.5")}})));
  EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), std::make_tuple(10, 5, 0));
}

TEST(ProcessInfo, UnusableVersionFilesGiveTheDefault) {
  testkit::TempRoot root;
  processor::setMachineOverride(std::string("x86_64"));  // the default depends on the machine
  const auto fallback = std::make_tuple(10, 15, 7);
  EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), fallback);  // missing
  for (const std::string& bytes :
       {std::string("garbage"), *plist::toXML(*PlistValue::array({})),
        *plist::toXML(*PlistValue::dictionary({})), versionPlist(PlistValue::integer(11)),
        versionPlist(PlistValue::string("")), versionPlist(PlistValue::string("ten")),
        versionPlist(PlistValue::string("10.x.1")), versionPlist(PlistValue::string("-1.2")),
        versionPlist(PlistValue::string("10.15.7.1")),
        versionPlist(PlistValue::string("99999999999999999999999")),
        versionPlist(PlistValue::string(std::string(100000, '9')))}) {
    writeVersionFile(root, bytes);
    EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), fallback) << bytes.substr(0, 300);
  }
  std::filesystem::remove(root.host(kFile));
  std::filesystem::create_directory(root.host(kFile));  // a folder where the file should be
  EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), fallback);
  processor::setMachineOverride(std::string("aarch64"));
  EXPECT_EQ(triple(processinfo::readOperatingSystemVersion()), std::make_tuple(11, 0, 0));
  processor::setMachineOverride(std::nullopt);
}

TEST(ProcessInfo, HomeComesFromTheEnvironment) {
  const char* saved = std::getenv("HOME");
  std::string savedHome = saved ? saved : "";
  ::setenv("HOME", "/Users/someone", 1);
  EXPECT_EQ(processinfo::homeDirectory(), "/Users/someone");
  ::unsetenv("HOME");
  EXPECT_FALSE(processinfo::homeDirectory().empty());  // the password database answers
  if (saved) ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(ProcessInfo, ProcessNameIsTheLastComponentOfTheProgramPath) {
  std::vector<std::string> saved = processinfo::arguments();
  processinfo::setArguments({"/usr/libexec/brennick.Helper", "--list"});
  EXPECT_EQ(processinfo::processName(), "brennick.Helper");
  EXPECT_EQ(processinfo::arguments().size(), 2u);
  processinfo::setArguments({});
  EXPECT_FALSE(processinfo::processName().empty());
  processinfo::setArguments(saved);
  EXPECT_EQ(processinfo::processIdentifier(), static_cast<int>(::getpid()));
}
