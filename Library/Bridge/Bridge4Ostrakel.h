// The in-memory reading of one distribution bundle (a directory *.velmar).
// Built by initWithContentsOfURL and then only read; owns its architecture
// entries; `activeArchitecture` does not own. Every accessor is atomic.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Library/Bridge/Architecture4Ostrakel.h"
#include "Library/SystemVersion/SystemVersion.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileURL.h"
#include "platform/PropertyList.h"
#include "platform/Unicode.h"

namespace ostrakel {

class SharedLinks;
using ArchitectureArray = std::vector<ArchitectureRef>;


class Bridge4Ostrakel : public std::enable_shared_from_this<Bridge4Ostrakel> {
public:
  // Reads the bundle at `url`; nullptr when it is not a velmar bundle or offers
  // no binary set (then error 110, with NSURL, in a given empty slot).
  static BridgeRef initWithContentsOfURL(const FileURL& url, ErrorSlot slot);
  // The same for an operation that reads many bundles: the links every
  // reading consults come from `links`, and the bundle folder's attributes
  // from `entry`, its folder's listing, when that holds them.
  static BridgeRef initWithContentsOfURL(const FileURL& url, ErrorSlot slot, SharedLinks& links,
                                         const FolderEntry* entry);

  // The parsed names of a base name: header, number, trailer, volume.
  struct ParsedNames {
    std::string headerName, numberName, trailerName, volumeName;
  };
  // The names the shared name expression gives `baseName` (first match); all
  // four empty when the expression is unavailable. Names that cannot match
  // anything are decided without the expression.
  static ParsedNames parseBaseName(const std::string& baseName);
  // The same, always evaluating the expression.
  static ParsedNames matchNameExpression(const std::string& baseName);
  // The names a bundle at `path` is read with, known without reading it.
  struct Names {
    std::string displayName, baseName;
    ParsedNames parsed;
  };
  static Names namesOfBundleAt(const std::string& path);
  static const char* kNamePattern;
  // The shared name expression, compiled once per process; nullptr when it
  // could not be compiled.
  static const unicode::RegularExpression* RE();

  // Validation of values read from Info.plist. Each takes an in-out slot with
  // the value (nullptr: no slot; a null value: no value), may replace it, and
  // never writes `slot` itself (a conversion it makes may).
  static bool validateMinimumSystemVersion(SystemVersionRef* value, ErrorSlot slot);
  static bool validateMaximumSystemVersion(SystemVersionRef* value, ErrorSlot slot);
  // An array becomes the array of its string elements; no value, an empty array.
  static bool validateArchitecturePriority(PlistRef* value, ErrorSlot slot);
  // A dictionary gives the versions of its entries whose value is a version
  // string (converted); no value, none. Other values are refused.
  static bool validateMinimumSystemVersionsByArch(const PlistRef* value, VersionsByArch* versions,
                                                  ErrorSlot slot);
  static bool validateMaximumSystemVersionsByArch(const PlistRef* value, VersionsByArch* versions,
                                                  ErrorSlot slot);

  // Activity and defaults.
  ArchitectureRef architectureWithSource(const std::optional<std::string>& source) const;
  bool canBeActive() const;
  bool canEditArchitecture() const;
  BridgeRef localCopy();
  std::string LTD_DefaultTeX_Contents_Destination() const;
  void updateActivityStatus();
  // The text the bundle's own texbin link held when the bundle was read (none:
  // no link), which the activity of the bridge was decided from.
  std::optional<std::string> texbinLinkTextAtReading() const;
  ArchitectureRef defaultArchitecture() const;

  std::string description() const;
  std::string longDescription() const;

  // Accessors.
  FileURL fileURL() const;
  void setFileURL(const FileURL& v);
  ArchitectureArray architectures() const;
  void setArchitectures(const ArchitectureArray& v);
  ArchitectureArray architectures4UI() const;
  void setArchitectures4UI(const ArchitectureArray& v);
  std::string baseName() const;
  void setBaseName(const std::string& v);
  std::string displayName() const;
  void setDisplayName(const std::string& v);
  std::string headerName() const;
  void setHeaderName(const std::string& v);
  std::string numberName() const;
  void setNumberName(const std::string& v);
  std::string trailerName() const;
  void setTrailerName(const std::string& v);
  std::string volumeName() const;
  void setVolumeName(const std::string& v);
  std::string realVolumeName() const;
  void setRealVolumeName(const std::string& v);
  bool isActive() const;
  void setIsActive(bool v);
  std::optional<std::string> attributedDescription() const;  // never set: none
  ArchitectureRef activeArchitecture() const;  // none once the entry is gone
  void setActiveArchitecture(const ArchitectureRef& v);
  std::optional<PlistDate> creationDate() const;
  void setCreationDate(const std::optional<PlistDate>& v);
  std::optional<PlistDate> modificationDate() const;
  void setModificationDate(const std::optional<PlistDate>& v);
  StringList architecturePriority() const;
  void setArchitecturePriority(const StringList& v);
  SystemVersionRef minimumSystemVersion() const;
  void setMinimumSystemVersion(SystemVersionRef v);
  SystemVersionRef maximumSystemVersion() const;
  void setMaximumSystemVersion(SystemVersionRef v);
  VersionsByArch minimumSystemVersionsByArch() const;
  void setMinimumSystemVersionsByArch(const VersionsByArch& v);
  VersionsByArch maximumSystemVersionsByArch() const;
  void setMaximumSystemVersionsByArch(const VersionsByArch& v);
  std::optional<std::string> texbinPath() const;  // declared, never set: none
  ArchitectureRef selectedArchitecture() const;
  void setSelectedArchitecture(const ArchitectureRef& v);

private:
  // `resolvedContents` gives the Contents folder with links resolved; asked
  // only when the cheaper tests do not decide.
  void updateActivityStatus(SharedLinks& links, const std::optional<std::string>& texbinText,
                            const std::function<std::string()>& resolvedContents);

  mutable std::mutex mutex_;
  std::optional<std::string> texbinLinkText_;
  FileURL fileURL_;
  ArchitectureArray architectures_;
  ArchitectureArray architectures4UI_;
  std::string baseName_, displayName_, headerName_, numberName_, trailerName_, volumeName_,
      realVolumeName_;
  bool isActive_ = false;
  std::weak_ptr<Architecture4Ostrakel> activeArchitecture_;
  std::optional<PlistDate> creationDate_, modificationDate_;
  StringList architecturePriority_;
  SystemVersionRef minimumSystemVersion_, maximumSystemVersion_;
  VersionsByArch minimumSystemVersionsByArch_, maximumSystemVersionsByArch_;
  ArchitectureRef selectedArchitecture_;
};

}  // namespace ostrakel
