// One binary set of a bundle: its record, accessors, naming and descriptions.
#include "Library/Bridge/Architecture4Ostrakel.h"

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/Errors.h"
#include "Library/Common/LockedField.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/Format.h"

namespace ostrakel {

namespace {

// The names as one listing, one per line, in the set's (sorted) order.
std::string namesListing(const std::shared_ptr<NameSet>& names) {
  if (!names) return kNullPlaceholder;
  std::string out = "{(";
  bool first = true;
  for (const std::string& name : *names) {
    out += first ? "\n    " : ",\n    ";
    out += name;
    first = false;
  }
  out += "\n)}";
  return out;
}

FmtArg bridgeDisplayName(const std::shared_ptr<Bridge4Ostrakel>& bridge) {
  if (!bridge) return FmtArg(nullptr);
  return FmtArg(bridge->displayName());
}

}  // namespace

ArchitectureRef Architecture4Ostrakel::initWithName(const std::string& name, const std::string& source,
                                                    const std::optional<std::string>& destinationPath,
                                                    const std::weak_ptr<Bridge4Ostrakel>& bridge) {
  auto entry = std::make_shared<Architecture4Ostrakel>();
  entry->setName(name);
  entry->setNames(std::make_shared<NameSet>());
  entry->addName(entry->name());
  entry->setSource(source);
  entry->setDestinationPath(destinationPath ? *destinationPath : name);
  entry->setBridge(bridge);
  entry->setMinimumSystemVersion(SystemVersion::firstSystemVersion());
  entry->setMaximumSystemVersion(SystemVersion::lastSystemVersion());
  entry->setStrongDescription(entry->description());
  return entry;
}

void Architecture4Ostrakel::addName(const std::optional<std::string>& name) {
  if (!name || name->empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!names_) names_ = std::make_shared<NameSet>();
  names_->insert(*name);
  // The display name is the most preferred identifier among all known names,
  // whatever order they arrived in.
  for (const std::string& preferred : Tools4Ostrakel::architecturePriority()) {
    if (names_->count(preferred)) {
      name_ = preferred;
      return;
    }
  }
}

std::string Architecture4Ostrakel::localizedDescription() const { return localizedString4Ostrakel(name()); }

std::string Architecture4Ostrakel::description() const { return localizedDescription(); }

std::string Architecture4Ostrakel::roughDescription() const {
  return formatString("<Architecture: %@ -> %@ (%@) %#x>",
                      {name(), localizedDescription(), bridgeDisplayName(bridge()), identityOf(this)});
}

std::string Architecture4Ostrakel::longDescription() const {
  SystemVersionRef maximum = maximumSystemVersion();
  FmtArg maximumText = maximum == SystemVersion::lastSystemVersion()
                           ? FmtArg("None")
                           : (maximum ? FmtArg(maximum->description()) : FmtArg(nullptr));
  SystemVersionRef minimum = minimumSystemVersion();
  return formatString(
      "< Architecture: %#x\n  Localized description: %@\n  Bridge: %@\n  Name: %@\n"
      "  Source (in Programs folder): %@\n  Destination Folder: %@\n  Minimum OS (including): %@\n"
      "  Maximum OS (excluding): %@\n  All names:\n%@\n>",
      {identityOf(this), localizedDescription(), bridgeDisplayName(bridge()), name(), source(),
       destinationPath(), minimum ? FmtArg(minimum->description()) : FmtArg(nullptr), maximumText,
       namesListing(names())});
}

// Accessors: each takes the entry's lock, so a read never sees half a write.

std::string Architecture4Ostrakel::name() const { return lockedRead(mutex_, name_); }
void Architecture4Ostrakel::setName(const std::string& v) { lockedWrite(mutex_, name_, v); }
std::string Architecture4Ostrakel::destinationPath() const { return lockedRead(mutex_, destinationPath_); }
void Architecture4Ostrakel::setDestinationPath(const std::string& v) { lockedWrite(mutex_, destinationPath_, v); }
std::string Architecture4Ostrakel::source() const { return lockedRead(mutex_, source_); }
void Architecture4Ostrakel::setSource(const std::string& v) { lockedWrite(mutex_, source_, v); }
std::shared_ptr<NameSet> Architecture4Ostrakel::names() const { return lockedRead(mutex_, names_); }
void Architecture4Ostrakel::setNames(std::shared_ptr<NameSet> v) { lockedWrite(mutex_, names_, std::move(v)); }
SystemVersionRef Architecture4Ostrakel::minimumSystemVersion() const {
  return lockedRead(mutex_, minimumSystemVersion_);
}
void Architecture4Ostrakel::setMinimumSystemVersion(SystemVersionRef v) {
  lockedWrite(mutex_, minimumSystemVersion_, std::move(v));
}
SystemVersionRef Architecture4Ostrakel::maximumSystemVersion() const {
  return lockedRead(mutex_, maximumSystemVersion_);
}
void Architecture4Ostrakel::setMaximumSystemVersion(SystemVersionRef v) {
  lockedWrite(mutex_, maximumSystemVersion_, std::move(v));
}
std::shared_ptr<Bridge4Ostrakel> Architecture4Ostrakel::bridge() const { return lockedRead(mutex_, bridge_).lock(); }
void Architecture4Ostrakel::setBridge(const std::weak_ptr<Bridge4Ostrakel>& v) { lockedWrite(mutex_, bridge_, v); }
std::string Architecture4Ostrakel::strongDescription() const { return lockedRead(mutex_, strongDescription_); }
void Architecture4Ostrakel::setStrongDescription(const std::string& v) { lockedWrite(mutex_, strongDescription_, v); }

}  // namespace ostrakel
