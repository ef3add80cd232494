// The helper's own job description, as the client sends it, written into the
// LaunchDaemons folder of the local domain.
#include <optional>
#include <string>

#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Protocol/HelperRequests.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/Assertion.h"
#include "platform/Directories.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"

namespace ostrakel {
namespace {

// The job's label is the service's name.
constexpr const char* kJobLabel = kServiceName;

}  // namespace

bool Tools4Ostrakel::copyLaunchdInformation(const PlistRef& dictionary, ErrorSlot slot) {
  const auto libraries = directories::localLibraryFolders();
  if (libraries.empty()) assertionFailure("No /Library folder, bailing out.", "Library/Bridge", 1008);
  const std::string file = path::appendExtension(
      path::appendComponent(path::appendComponent(libraries.back(), "LaunchDaemons"), kJobLabel), "plist");

  // Nothing is added and nothing checked beyond what makes a job file at all:
  // a dictionary that can be written as a property list.
  std::optional<std::string> xml;
  if (dictionary && dictionary->asDictionary()) xml = plist::toXML(*dictionary);
  if (!xml) {
    storeFirstError(slot, errorWithOstrakelCode(errorcode::kNoLaunchdPlist));
    return false;
  }
  // The folder is not created: a system without LaunchDaemons gets no job file.
  return fileManager().writeFileAtomically(file, *xml, slot);
}

}  // namespace ostrakel
