// The bridge record: accessors and descriptions.
#include "Library/Bridge/Bridge4Ostrakel.h"

#include "Library/Common/LockedField.h"

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
FileURL Bridge4Ostrakel::fileURL() const { return lockedRead(mutex_, fileURL_); }
void Bridge4Ostrakel::setFileURL(const FileURL& v) { lockedWrite(mutex_, fileURL_, v); }
ArchitectureArray Bridge4Ostrakel::architectures() const { return lockedRead(mutex_, architectures_); }
void Bridge4Ostrakel::setArchitectures(const ArchitectureArray& v) { lockedWrite(mutex_, architectures_, v); }
ArchitectureArray Bridge4Ostrakel::architectures4UI() const { return lockedRead(mutex_, architectures4UI_); }
void Bridge4Ostrakel::setArchitectures4UI(const ArchitectureArray& v) { lockedWrite(mutex_, architectures4UI_, v); }
std::string Bridge4Ostrakel::baseName() const { return lockedRead(mutex_, baseName_); }
void Bridge4Ostrakel::setBaseName(const std::string& v) { lockedWrite(mutex_, baseName_, v); }
std::string Bridge4Ostrakel::displayName() const { return lockedRead(mutex_, displayName_); }
void Bridge4Ostrakel::setDisplayName(const std::string& v) { lockedWrite(mutex_, displayName_, v); }
std::string Bridge4Ostrakel::headerName() const { return lockedRead(mutex_, headerName_); }
void Bridge4Ostrakel::setHeaderName(const std::string& v) { lockedWrite(mutex_, headerName_, v); }
std::string Bridge4Ostrakel::numberName() const { return lockedRead(mutex_, numberName_); }
void Bridge4Ostrakel::setNumberName(const std::string& v) { lockedWrite(mutex_, numberName_, v); }
std::string Bridge4Ostrakel::trailerName() const { return lockedRead(mutex_, trailerName_); }
void Bridge4Ostrakel::setTrailerName(const std::string& v) { lockedWrite(mutex_, trailerName_, v); }
std::string Bridge4Ostrakel::volumeName() const { return lockedRead(mutex_, volumeName_); }
void Bridge4Ostrakel::setVolumeName(const std::string& v) { lockedWrite(mutex_, volumeName_, v); }
std::string Bridge4Ostrakel::realVolumeName() const { return lockedRead(mutex_, realVolumeName_); }
void Bridge4Ostrakel::setRealVolumeName(const std::string& v) { lockedWrite(mutex_, realVolumeName_, v); }
std::optional<PlistDate> Bridge4Ostrakel::creationDate() const { return lockedRead(mutex_, creationDate_); }
void Bridge4Ostrakel::setCreationDate(const std::optional<PlistDate>& v) { lockedWrite(mutex_, creationDate_, v); }
std::optional<PlistDate> Bridge4Ostrakel::modificationDate() const { return lockedRead(mutex_, modificationDate_); }
void Bridge4Ostrakel::setModificationDate(const std::optional<PlistDate>& v) {
  lockedWrite(mutex_, modificationDate_, v);
}
StringList Bridge4Ostrakel::architecturePriority() const { return lockedRead(mutex_, architecturePriority_); }
void Bridge4Ostrakel::setArchitecturePriority(const StringList& v) { lockedWrite(mutex_, architecturePriority_, v); }
VersionsByArch Bridge4Ostrakel::minimumSystemVersionsByArch() const {
  return lockedRead(mutex_, minimumSystemVersionsByArch_);
}
void Bridge4Ostrakel::setMinimumSystemVersionsByArch(const VersionsByArch& v) {
  lockedWrite(mutex_, minimumSystemVersionsByArch_, v);
}
VersionsByArch Bridge4Ostrakel::maximumSystemVersionsByArch() const {
  return lockedRead(mutex_, maximumSystemVersionsByArch_);
}
void Bridge4Ostrakel::setMaximumSystemVersionsByArch(const VersionsByArch& v) {
  lockedWrite(mutex_, maximumSystemVersionsByArch_, v);
}
ArchitectureRef Bridge4Ostrakel::selectedArchitecture() const { return lockedRead(mutex_, selectedArchitecture_); }
void Bridge4Ostrakel::setSelectedArchitecture(const ArchitectureRef& v) {
  lockedWrite(mutex_, selectedArchitecture_, v);
}

bool Bridge4Ostrakel::isActive() const { return lockedRead(mutex_, isActive_); }
void Bridge4Ostrakel::setIsActive(bool v) { lockedWrite(mutex_, isActive_, v); }
SystemVersionRef Bridge4Ostrakel::minimumSystemVersion() const { return lockedRead(mutex_, minimumSystemVersion_); }
void Bridge4Ostrakel::setMinimumSystemVersion(SystemVersionRef v) {
  lockedWrite(mutex_, minimumSystemVersion_, std::move(v));
}
SystemVersionRef Bridge4Ostrakel::maximumSystemVersion() const { return lockedRead(mutex_, maximumSystemVersion_); }
void Bridge4Ostrakel::setMaximumSystemVersion(SystemVersionRef v) {
  lockedWrite(mutex_, maximumSystemVersion_, std::move(v));
}
ArchitectureRef Bridge4Ostrakel::activeArchitecture() const { return lockedRead(mutex_, activeArchitecture_).lock(); }
void Bridge4Ostrakel::setActiveArchitecture(const ArchitectureRef& v) { lockedWrite(mutex_, activeArchitecture_, v); }
// Declared for presentation; nothing in the helper sets them.
std::optional<std::string> Bridge4Ostrakel::attributedDescription() const { return std::nullopt; }
std::optional<std::string> Bridge4Ostrakel::texbinPath() const { return std::nullopt; }

}  // namespace ostrakel
