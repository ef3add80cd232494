// The bridge record: accessors and descriptions.
#include "Library/Bridge/Bridge4Ostrakel.h"

#include "platform/Format.h"

namespace ostrakel {

namespace {

// Entries one per line inside parentheses, each by its description.
std::string entriesListing(const ArchitectureArray& entries) {
  std::string out = "(";
  bool first = true;
  for (const ArchitectureRef& entry : entries) {
    out += first ? "\n    " : ",\n    ";
    out += entry ? entry->description() : std::string(kNullPlaceholder);
    first = false;
  }
  out += "\n)";
  return out;
}

}  // namespace

std::string Bridge4Ostrakel::description() const {
  return formatString("<Bridge %@ %#x>", {displayName(), identityOf(this)});
}

std::string Bridge4Ostrakel::longDescription() const {
  return formatString(
      "<TeX Bridge: %#x\nDisplay name: %@\nReal volume name: %@\nVolume name: %@\nFile URL: %@\n"
      "Active architecture: %@\nSelected architecture: %@\nAvailable architectures \n%@\n>",
      {identityOf(this), displayName(), realVolumeName(), volumeName(), fileURL().description(),
       activeArchitecture(), selectedArchitecture(), entriesListing(architectures())});
}

// Every accessor holds the bridge's lock for the copy it makes, so a reader
// never observes half of a write.
#define OSTRAKEL_BRIDGE_FIELD(Type, getter, setter, field) \
  Type Bridge4Ostrakel::getter() const {                  \
    std::lock_guard<std::mutex> lock(mutex_);             \
    return field;                                         \
  }                                                       \
  void Bridge4Ostrakel::setter(const Type& v) {           \
    std::lock_guard<std::mutex> lock(mutex_);             \
    field = v;                                            \
  }

OSTRAKEL_BRIDGE_FIELD(FileURL, fileURL, setFileURL, fileURL_)
OSTRAKEL_BRIDGE_FIELD(ArchitectureArray, architectures, setArchitectures, architectures_)
OSTRAKEL_BRIDGE_FIELD(ArchitectureArray, architectures4UI, setArchitectures4UI, architectures4UI_)
OSTRAKEL_BRIDGE_FIELD(std::string, baseName, setBaseName, baseName_)
OSTRAKEL_BRIDGE_FIELD(std::string, displayName, setDisplayName, displayName_)
OSTRAKEL_BRIDGE_FIELD(std::string, headerName, setHeaderName, headerName_)
OSTRAKEL_BRIDGE_FIELD(std::string, numberName, setNumberName, numberName_)
OSTRAKEL_BRIDGE_FIELD(std::string, trailerName, setTrailerName, trailerName_)
OSTRAKEL_BRIDGE_FIELD(std::string, volumeName, setVolumeName, volumeName_)
OSTRAKEL_BRIDGE_FIELD(std::string, realVolumeName, setRealVolumeName, realVolumeName_)
OSTRAKEL_BRIDGE_FIELD(std::optional<PlistDate>, creationDate, setCreationDate, creationDate_)
OSTRAKEL_BRIDGE_FIELD(std::optional<PlistDate>, modificationDate, setModificationDate, modificationDate_)
OSTRAKEL_BRIDGE_FIELD(StringList, architecturePriority, setArchitecturePriority, architecturePriority_)
OSTRAKEL_BRIDGE_FIELD(VersionsByArch, minimumSystemVersionsByArch, setMinimumSystemVersionsByArch,
                      minimumSystemVersionsByArch_)
OSTRAKEL_BRIDGE_FIELD(VersionsByArch, maximumSystemVersionsByArch, setMaximumSystemVersionsByArch,
                      maximumSystemVersionsByArch_)
OSTRAKEL_BRIDGE_FIELD(ArchitectureRef, selectedArchitecture, setSelectedArchitecture, selectedArchitecture_)

#undef OSTRAKEL_BRIDGE_FIELD

bool Bridge4Ostrakel::isActive() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return isActive_;
}
void Bridge4Ostrakel::setIsActive(bool v) {
  std::lock_guard<std::mutex> lock(mutex_);
  isActive_ = v;
}
SystemVersionRef Bridge4Ostrakel::minimumSystemVersion() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return minimumSystemVersion_;
}
void Bridge4Ostrakel::setMinimumSystemVersion(SystemVersionRef v) {
  std::lock_guard<std::mutex> lock(mutex_);
  minimumSystemVersion_ = std::move(v);
}
SystemVersionRef Bridge4Ostrakel::maximumSystemVersion() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return maximumSystemVersion_;
}
void Bridge4Ostrakel::setMaximumSystemVersion(SystemVersionRef v) {
  std::lock_guard<std::mutex> lock(mutex_);
  maximumSystemVersion_ = std::move(v);
}
ArchitectureRef Bridge4Ostrakel::activeArchitecture() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return activeArchitecture_.lock();
}
void Bridge4Ostrakel::setActiveArchitecture(const ArchitectureRef& v) {
  std::lock_guard<std::mutex> lock(mutex_);
  activeArchitecture_ = v;
}
// Declared for presentation; nothing in the helper sets them.
std::optional<std::string> Bridge4Ostrakel::attributedDescription() const { return std::nullopt; }
std::optional<std::string> Bridge4Ostrakel::texbinPath() const { return std::nullopt; }

}  // namespace ostrakel
