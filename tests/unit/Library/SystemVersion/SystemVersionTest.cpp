#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Library/Common/Errors.h"
#include "Library/SystemVersion/SystemVersion.h"

using namespace ostrakel;

namespace {

std::string parsed(const std::string& text) {
  return SystemVersion::systemVersionWithString(text)->description();
}

int compared(const std::string& a, const std::string& b) {
  return SystemVersion::systemVersionWithString(a)->compare(SystemVersion::systemVersionWithString(b));
}

const std::string kLargest = "9223372036854775807";

}  // namespace

TEST(SystemVersionParsing, WellFormedStrings) {
  EXPECT_EQ(parsed("10.4.11"), "10.4.11");
  EXPECT_EQ(parsed("10.6"), "10.6.0");
  EXPECT_EQ(parsed("10"), "10.0.0");
  EXPECT_EQ(parsed("11.0.1"), "11.0.1");
}

TEST(SystemVersionParsing, LenientForms) {
  EXPECT_EQ(parsed(""), "10.0.0");
  EXPECT_EQ(parsed("9.2.1"), "10.2.1");       // major raised to 10
  EXPECT_EQ(parsed("10.-3.2"), "10.0.2");     // negative parts become 0
  EXPECT_EQ(parsed("10..5"), "10.0.5");       // empty piece is 0
  EXPECT_EQ(parsed("10.4.7.9"), "10.4.7");    // further pieces ignored
  EXPECT_EQ(parsed(" 10.5"), "10.5.0");       // leading white space
  EXPECT_EQ(parsed("\t12.3"), "12.3.0");
  EXPECT_EQ(parsed("10.4.x"), "10.4.0");      // no digits
  EXPECT_EQ(parsed("10.4b3.2"), "10.4.2");    // digits up to the first other character
  EXPECT_EQ(parsed("+11.+2.+3"), "11.2.3");
  EXPECT_EQ(parsed("Snow Leopard"), "10.0.0");
  EXPECT_EQ(parsed("."), "10.0.0");
}

TEST(SystemVersionParsing, DigitsBeyond64BitsSaturate) {
  EXPECT_EQ(parsed("10." + kLargest + ".0"), "10." + kLargest + ".0");
  EXPECT_EQ(parsed("99999999999999999999999.1.2"), kLargest + ".1.2");
  EXPECT_EQ(parsed("10.1.99999999999999999999999"), "10.1." + kLargest);
  // A hugely negative piece saturates low and is then raised as any negative.
  EXPECT_EQ(parsed("-99999999999999999999999.-99999999999999999999999"), "10.0.0");
}

TEST(SystemVersionParsing, NonStringsGiveTheFirstVersionAndError712) {
  ErrorRef error;
  SystemVersionRef version = SystemVersion::systemVersionWithString(PlistValue::integer(11), &error);
  ASSERT_TRUE(version);
  EXPECT_EQ(version->description(), "10.0.0");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(error->code, 712);
  EXPECT_EQ(error->userInfo.localizedDescription, "Bad version string");

  // The slot is overwritten, not filled only when empty.
  ErrorRef earlier = errorWithOstrakelCode(110);
  ErrorRef slot = earlier;
  SystemVersion::systemVersionWithString(PlistValue::date({0}), &slot);
  ASSERT_TRUE(slot);
  EXPECT_EQ(slot->code, 712);

  // Nothing at all, with and without a slot.
  ErrorRef none;
  EXPECT_EQ(SystemVersion::systemVersionWithString(PlistRef{}, &none)->description(), "10.0.0");
  EXPECT_TRUE(none);
  EXPECT_EQ(SystemVersion::systemVersionWithString(PlistRef{})->description(), "10.0.0");
}

TEST(SystemVersionParsing, StringsLeaveTheSlotAlone) {
  ErrorRef slot;
  EXPECT_EQ(SystemVersion::systemVersionWithString(PlistValue::string("10.7.2"), &slot)->description(),
            "10.7.2");
  EXPECT_FALSE(slot);
  // Each call makes a new object, even for equal strings.
  EXPECT_NE(SystemVersion::systemVersionWithString("10.0.0"), SystemVersion::systemVersionWithString("10.0.0"));
}

TEST(SystemVersionOrdering, NumericNotTextual) {
  EXPECT_EQ(compared("10.4.7", "10.4.10"), -1);
  EXPECT_EQ(compared("10.10.0", "10.9.5"), 1);
  EXPECT_EQ(compared("10.6.0", "10.6.0"), 0);
  EXPECT_EQ(compared("10.6", "10.6.0"), 0);
  EXPECT_EQ(compared("11.0.0", "10.99.99"), 1);
  EXPECT_EQ(compared("10.5.9", "10.6.0"), -1);
}

TEST(SystemVersionOrdering, AbsentRightHandSideReadsAsZero) {
  EXPECT_EQ(SystemVersion::systemVersionWithString("10.0.0")->compare(nullptr), 1);
  SystemVersion zero;
  zero.setMajor(0);
  EXPECT_EQ(zero.compare(nullptr), 0);
  zero.setPatch(-1);
  EXPECT_EQ(zero.compare(SystemVersionRef{}), -1);
}

TEST(SharedSystemVersions, FirstAndLast) {
  EXPECT_EQ(SystemVersion::firstSystemVersion()->description(), "10.0.0");
  SystemVersionRef last = SystemVersion::lastSystemVersion();
  EXPECT_EQ(last->description(), kLargest + "." + kLargest + "." + kLargest);
  EXPECT_EQ(last->compare(SystemVersion::systemVersionWithString("10.15.7")), 1);
  EXPECT_EQ(last->compare(SystemVersion::systemVersionWithString("99.0.0")), 1);
  EXPECT_EQ(SystemVersion::firstSystemVersion()->compare(SystemVersion::systemVersionWithString("")), 0);
}

TEST(SharedSystemVersions, RunningIsOneObjectWithSaneFields) {
  SystemVersionRef running = SystemVersion::runningSystemVersion();
  EXPECT_EQ(running, SystemVersion::runningSystemVersion());
  EXPECT_GE(running->major(), 0);
  EXPECT_GE(running->minor(), 0);
  EXPECT_GE(running->patch(), 0);
}

TEST(SharedSystemVersions, ConcurrentRequestsShareOneObject) {
  std::vector<SystemVersionRef> seen(16);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] {
      seen[i] = i % 3 == 0   ? SystemVersion::firstSystemVersion()
                : i % 3 == 1 ? SystemVersion::lastSystemVersion()
                             : SystemVersion::runningSystemVersion();
    });
  for (auto& t : threads) t.join();
  std::set<SystemVersion*> distinct;
  for (const auto& v : seen) distinct.insert(v.get());
  EXPECT_EQ(distinct.size(), 3u);
}
