#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Library/Common/Errors.h"
#include "platform/ProcessInfo.h"

using namespace ostrakel;

namespace {

std::string libcText(int number) { return std::strerror(number); }

}  // namespace

// The program's own codes lie in its own range (0 to 1000) and in the
// authorization service's, each with a message of its own; every other code
// gets the C library's text.
TEST(ErrorCodeTable, OwnMessagesLieInTheirRangesAndAreDistinct) {
  std::map<std::string, int64_t> owners;
  for (int64_t code = -61000; code <= 1100; ++code) {
    const std::string message = errorMessage4Ostrakel(code);
    if (message == libcText(static_cast<int>(code))) continue;
    EXPECT_TRUE((code >= 0 && code <= 1000) || (code >= -60033 && code <= -60001)) << code << ": " << message;
    EXPECT_FALSE(message.empty()) << code;
    auto [other, added] = owners.emplace(message, code);
    EXPECT_TRUE(added) << code << " and " << other->second << " share \"" << message << "\"";
  }
  for (int64_t edge : {0, 1000, -60001, -60033}) EXPECT_NE(errorMessage4Ostrakel(edge), libcText(static_cast<int>(edge)));
  // The system's own spelling slips are part of its messages: nobody mends them.
  EXPECT_EQ(errorMessage4Ostrakel(704), "Failed to create directory at /Library/TeX/Ditributions/.DefaultTeX");
  EXPECT_EQ(errorMessage4Ostrakel(710), "Failed to activate a distibution");
}

TEST(ErrorCodeTable, PerUserMessagesCarryTheHomeFolder) {
  const std::string home = processinfo::homeDirectory();
  EXPECT_EQ(errorMessage4Ostrakel(703), "Failed to link " + home +
                                            "/Library/TeX/Distributions/Programs/texbin to "
                                            "../.DefaultTeX/Contents/Programs/texbin");
  EXPECT_EQ(errorMessage4Ostrakel(705),
            "Failed to create directory at " + home + "/Library/TeX/Ditributions/.DefaultTeX");
}

TEST(ErrorCodeTable, AHomeFolderWithATrailingSeparatorGivesNoDoubleSeparator) {
  const char* saved = std::getenv("HOME");
  const std::string savedHome = saved ? saved : "";
  ::setenv("HOME", "/Users/tester/", 1);
  const std::string linkMessage = errorMessage4Ostrakel(703);
  const std::string folderMessage = errorMessage4Ostrakel(705);
  if (saved) ::setenv("HOME", savedHome.c_str(), 1);
  else ::unsetenv("HOME");
  EXPECT_EQ(linkMessage,
            "Failed to link /Users/tester/Library/TeX/Distributions/Programs/texbin to "
            "../.DefaultTeX/Contents/Programs/texbin");
  EXPECT_EQ(folderMessage, "Failed to create directory at /Users/tester/Library/TeX/Ditributions/.DefaultTeX");
}

TEST(ErrorCodeTable, CodesWithoutEntryFallBackToTheCLibrary) {
  EXPECT_EQ(errorMessage4Ostrakel(113), libcText(113));
  EXPECT_EQ(errorMessage4Ostrakel(999), libcText(999));
  EXPECT_EQ(errorMessage4Ostrakel(1001), libcText(1001));
  EXPECT_EQ(errorMessage4Ostrakel(2), libcText(2));
  EXPECT_EQ(errorMessage4Ostrakel(-50), libcText(-50));
  // Between the two blocks of authorization codes.
  EXPECT_EQ(errorMessage4Ostrakel(-60012), libcText(-60012));
  EXPECT_EQ(errorMessage4Ostrakel(-60030), libcText(-60030));
  EXPECT_EQ(errorMessage4Ostrakel(-60034), libcText(-60034));
}

TEST(ErrorCodeTable, CodesBeyond32BitsUseTheirLowBitsForTheFallbackOnly) {
  const int64_t twoPlus32 = (int64_t{1} << 32) + 2;
  EXPECT_EQ(errorMessage4Ostrakel(twoPlus32), libcText(2));
  // Low bits equal to an own code do not select the own message.
  EXPECT_EQ(errorMessage4Ostrakel((int64_t{1} << 32) + 712), libcText(712));
  EXPECT_EQ(errorMessage4Ostrakel((int64_t{1} << 32) + 1000), libcText(1000));
  EXPECT_EQ(errorMessage4Ostrakel(INT64_MIN), libcText(0));
}

TEST(ErrorHelpers, ErrorWithOstrakelCodeHoldsOnlyTheDescription) {
  ErrorRef error = errorWithOstrakelCode(711);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "OstrakelErrorDomain");
  EXPECT_EQ(error->code, 711);
  EXPECT_EQ(error->userInfo.localizedDescription, "Bad distribution name");
  EXPECT_FALSE(error->userInfo.url);
  EXPECT_FALSE(error->userInfo.underlying);
  EXPECT_TRUE(error->userInfo.extra.empty());
}

TEST(ErrorHelpers, TheDomainDoesNotChangeTheMessage) {
  EXPECT_EQ(errorWithCode(kNSPOSIXErrorDomain, 1)->userInfo.localizedDescription, "Unknown error");
  EXPECT_EQ(errorWithCode(kNSPOSIXErrorDomain, 10)->userInfo.localizedDescription, "Invalid code signature");
  EXPECT_EQ(errorWithCode(kNSPOSIXErrorDomain, 0)->userInfo.localizedDescription, "No error found");
  ErrorRef status = errorWithCode(kNSOSStatusErrorDomain, -50);
  EXPECT_EQ(status->domain, "NSOSStatusErrorDomain");
  EXPECT_EQ(status->userInfo.localizedDescription, libcText(-50));
}

TEST(ErrorHelpers, ErrorWithCodeKeepsCauseAndURL) {
  ErrorRef cause = errorWithCode(kNSPOSIXErrorDomain, 13);
  ErrorRef error = errorWithCode(kOstrakelErrorDomain, 701, cause, "file:///usr/texbin");
  EXPECT_EQ(error->userInfo.underlying, cause);
  EXPECT_EQ(error->userInfo.url, "file:///usr/texbin");
  EXPECT_EQ(error->userInfo.localizedDescription, errorMessage4Ostrakel(701));
}

TEST(ErrorHelpers, UntranslatedTextsComeBackUnchanged) {
  EXPECT_EQ(localizedString4Ostrakel("No such distribution: %@"), "No such distribution: %@");
  EXPECT_EQ(localizedString4Ostrakel(""), "");
  EXPECT_EQ(localizedErrorMessage4Ostrakel(109), "No active distribution");
}
