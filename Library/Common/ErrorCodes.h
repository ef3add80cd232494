// The codes of the program's own error domain (OstrakelErrorDomain), by name.
// Their messages are in Errors.cpp's table; the 7xx codes are also the codes
// of the actions that fail with them.
#pragma once

#include <cstdint>

namespace ostrakel::errorcode {

inline constexpr int64_t kNoError = 0;
inline constexpr int64_t kUnknown = 1;
inline constexpr int64_t kInvalidCodeSignature = 10;
inline constexpr int64_t kNoHelper = 100;
inline constexpr int64_t kSecurityCheckFailed = 101;
inline constexpr int64_t kHelperNotExecutable = 102;
inline constexpr int64_t kNoAuthorisation = 103;
inline constexpr int64_t kNoDefaultDistributions = 104;
inline constexpr int64_t kNoDefaultTeXFolder = 105;
inline constexpr int64_t kCreateDefaultTeXFailed = 106;
inline constexpr int64_t kRemoveDefaultTeXFailed = 107;
inline constexpr int64_t kNoDefaultTeXContentsLink = 108;
inline constexpr int64_t kNoActiveDistribution = 109;
inline constexpr int64_t kWrongBinaries = 110;
inline constexpr int64_t kNoSuchArchitecture = 111;
inline constexpr int64_t kCannotActivate = 112;
// The action code of copying the job description; the table has no text for
// it, so its message is the C library's.
inline constexpr int64_t kCopyLaunchdInformationFailed = 113;
inline constexpr int64_t kUpdateTexbinFailed = 500;

inline constexpr int64_t kNoAuthorizationData = 600;
inline constexpr int64_t kBadSecurityRequirement = 601;
inline constexpr int64_t kBadHelperIdentifier = 602;
inline constexpr int64_t kOneHelperOnly = 603;
inline constexpr int64_t kUninstallByHand = 604;
inline constexpr int64_t kInstallationFailed = 605;
inline constexpr int64_t kUninstallationFailed = 606;
inline constexpr int64_t kCreateRightsFailed = 607;
inline constexpr int64_t kRemoveRightsFailed = 608;
inline constexpr int64_t kNoLaunchdPlist = 609;
inline constexpr int64_t kNoInfoPlist = 610;
inline constexpr int64_t kNoSecurityRequirement = 611;
inline constexpr int64_t kNoExecutable = 612;
inline constexpr int64_t kNoStaticCode = 613;
inline constexpr int64_t kNoSigningInformation = 614;
inline constexpr int64_t kCommandFailed = 615;

inline constexpr int64_t kFixTexbinsFailed = 700;
inline constexpr int64_t kLinkUsrTexbinFailed = 701;
inline constexpr int64_t kLinkProgramsTexbinFailed = 702;
inline constexpr int64_t kLinkUserProgramsTexbinFailed = 703;  // message names the home folder
inline constexpr int64_t kCreateDefaultTeXFolderFailed = 704;
inline constexpr int64_t kCreateUserDefaultTeXFolderFailed = 705;  // message names the home folder
inline constexpr int64_t kInstallManagerFailed = 706;
inline constexpr int64_t kInstallUserManagerFailed = 707;
inline constexpr int64_t kFixBridgesFailed = 708;
inline constexpr int64_t kFixContextFailed = 709;
inline constexpr int64_t kActivateFailed = 710;
inline constexpr int64_t kBadDistributionName = 711;
inline constexpr int64_t kBadVersionString = 712;
inline constexpr int64_t kAddDistributionFailed = 713;
inline constexpr int64_t kRemoveDistributionFailed = 714;
inline constexpr int64_t kDistributionExists = 715;
inline constexpr int64_t kNotWrapped = 716;
inline constexpr int64_t kDistributionActive = 717;
inline constexpr int64_t kForeignItems = 718;

inline constexpr int64_t kTooManyErrors = 1000;

}  // namespace ostrakel::errorcode
