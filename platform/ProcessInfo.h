// Process information: arguments, home folder, user, running system version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrakel::processinfo {

// The arguments of the process as bytes (index 0 is the program path); the
// entry point stores them before anything else runs.
void setArguments(std::vector<std::string> arguments);
const std::vector<std::string>& arguments();

// The home folder of the user the process runs as (HOME, else the password
// database), as a path inside the system root, standardized (no trailing or
// doubled separators, no "." or ".." components).
std::string homeDirectory();

struct OperatingSystemVersion {
  int64_t major = 0, minor = 0, patch = 0;
};
// ProductVersion of /System/Library/CoreServices/SystemVersion.plist inside the
// root; when that file is missing, unreadable or unusable, the default below.
// Read at the first call, then kept for the life of the process.
OperatingSystemVersion operatingSystemVersion();
// A version on which the machine's own architecture runs: 11.0.0 on 64-bit
// ARM, 10.15.7 everywhere else.
OperatingSystemVersion defaultOperatingSystemVersion();
// The same, read from the file at each call (for tests).
OperatingSystemVersion readOperatingSystemVersion();
// "major[.minor[.patch]]" of decimal digits; none for anything else.
std::optional<OperatingSystemVersion> parseProductVersion(const std::string& text);

std::string processName();  // last component of the program path
int processIdentifier();

}  // namespace ostrakel::processinfo
