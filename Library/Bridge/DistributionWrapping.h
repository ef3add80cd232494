// Distributions made from an existing TeX installation: a bundle whose
// binary sets are links into the installation, marked in its Info.plist so
// that it can be told from a bundle someone else installed. Making one never
// writes into the installation; removing one never follows its links.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Error.h"

namespace ostrakel {

// The Info.plist key that marks a wrapped bundle; its value is the file URL
// of the installation.
inline constexpr const char* kWrappedInstallationKey = "OstrakelInstallation";

struct DistributionWrapping {
  std::string bundlePath;    // <folder>/<name>.velmar
  std::string installation;  // the installation's folder
  // Binary set name -> folder of programs, in the order of preference; the
  // first becomes the bundle's selected set.
  std::vector<std::pair<std::string, std::string>> programs;
};

// Whether `name` may name a bundle or a binary set: not empty, no "/", no
// NUL, not starting with ".", at most 255 bytes.
bool isPlainFileName(const std::string& name);

// Creates the bundle. Fails (code 713, with the cause underneath) when the
// description is malformed, the bundle exists already or a step fails; a
// bundle left half made is taken away again.
bool addWrappedDistribution(const DistributionWrapping& wrapping, ErrorSlot slot);

// Whether the bundle at `bundlePath` is a real folder carrying the mark.
bool isWrappedDistribution(const std::string& bundlePath);
// Whether the bundle is the one .DefaultTeX/Contents leads into.
bool isActiveDistribution(const std::string& bundlePath);

// Removes a wrapped bundle that is not the active one and holds nothing but
// what adding it made (links, the Info.plist, their two folders). Code 714
// with the cause underneath otherwise; nothing is removed then.
bool removeWrappedDistribution(const std::string& bundlePath, ErrorSlot slot);

}  // namespace ostrakel
