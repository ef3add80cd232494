#include "platform/ProcessInfo.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/Path.h"
#include "platform/Processor.h"
#include "platform/PropertyList.h"

namespace ostrakel::processinfo {

namespace {

constexpr const char* kSystemVersionFile = "/System/Library/CoreServices/SystemVersion.plist";
// Without a version file the machine is taken to run a version on which its
// own architecture runs: the last Intel-only version, or the first one that
// ran 64-bit ARM (the lowest version of the arm64 architecture's row).
constexpr OperatingSystemVersion kDefaultIntelVersion{10, 15, 7};
constexpr OperatingSystemVersion kDefaultARM64Version{11, 0, 0};
// More digits than this cannot be a version number (and would overflow).
constexpr size_t kMaxDigits = 18;

std::mutex& argumentsMutex() {
  static std::mutex m;
  return m;
}

std::vector<std::string>& storedArguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

bool allDigits(const std::string& piece) {
  if (piece.empty() || piece.size() > kMaxDigits) return false;
  for (char c : piece)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

void setArguments(std::vector<std::string> arguments) {
  std::lock_guard lock(argumentsMutex());
  storedArguments() = std::move(arguments);
}

const std::vector<std::string>& arguments() {
  // Stored once by the entry point before any other thread exists.
  return storedArguments();
}

namespace {

std::string homeFolderAsGiven() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (found && found->pw_dir && *found->pw_dir) return found->pw_dir;
  return "/";
}

}  // namespace

std::string homeDirectory() {
  // Paths are built by joining onto the home folder and messages put it in
  // front of "/Library/...": "/Users/someone/" must not give "//".
  return path::standardize(homeFolderAsGiven());
}

std::optional<OperatingSystemVersion> parseProductVersion(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    size_t dot = text.find('.', start);
    pieces.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (pieces.size() > 3) return std::nullopt;
  for (const std::string& piece : pieces)
    if (!allDigits(piece)) return std::nullopt;
  OperatingSystemVersion version;
  version.major = std::stoll(pieces[0]);
  if (pieces.size() > 1) version.minor = std::stoll(pieces[1]);
  if (pieces.size() > 2) version.patch = std::stoll(pieces[2]);
  return version;
}

OperatingSystemVersion defaultOperatingSystemVersion() {
  return processor::isARM64Machine(processor::machine()) ? kDefaultARM64Version : kDefaultIntelVersion;
}

OperatingSystemVersion readOperatingSystemVersion() {
  const OperatingSystemVersion fallback = defaultOperatingSystemVersion();
  PlistRef dictionary = plist::dictionaryWithContentsOfFile(kSystemVersionFile);
  PlistRef value = dictionary ? dictionary->get("ProductVersion") : nullptr;
  const std::string* text = value ? value->asString() : nullptr;
  if (!text) return fallback;
  return parseProductVersion(*text).value_or(fallback);
}

OperatingSystemVersion operatingSystemVersion() {
  static const OperatingSystemVersion version = readOperatingSystemVersion();
  return version;
}

std::string processName() {
  {
    std::lock_guard lock(argumentsMutex());
    const auto& arguments = storedArguments();
    if (!arguments.empty() && !path::lastComponent(arguments[0]).empty())
      return path::lastComponent(arguments[0]);
  }
  return program_invocation_short_name;
}

int processIdentifier() { return static_cast<int>(::getpid()); }

}  // namespace ostrakel::processinfo
