// The texbin chain: /usr/texbin -> Programs/texbin -> .DefaultTeX/Contents.
// The check looks at the two outer links and the .DefaultTeX folder; the repair
// rewrites them, but never trades a /usr/texbin that offers TeX programs for a
// chain that offers none: then the distribution /usr/texbin already leads into
// is made the active one instead.
#include <optional>
#include <string>

#include "Library/Bridge/Architecture4Ostrakel.h"
#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {
namespace {

// The one error a repair holds while it works. Calls get its slot only while
// it is empty; a failed step is then reported under the repair's own code with
// the pending error underneath.
class PendingError {
public:
  explicit PendingError(ErrorSlot caller) : caller_(caller) {}

  ErrorSlot slot() { return slotIfEmpty(&error_); }

  // Marks the repair failed; when an error is pending, wraps it under `code`
  // for the caller (first error wins) and starts afresh.
  void wrap(int64_t code, bool& result) {
    result = false;
    if (!error_) return;
    storeFirstError(caller_, errorWithCode(kOstrakelErrorDomain, code, error_));
    error_.reset();
  }

private:
  ErrorSlot caller_;
  ErrorRef error_;
};

// The folder paths of the layout end with a separator; a trailing separator
// would make the file system look through a link standing there, and the
// .DefaultTeX check must see the link itself.
std::string withoutTrailingSeparator(const std::string& p) { return path::standardize(p); }

std::string defaultTeXFolder() {
  return withoutTrailingSeparator(Tools4Ostrakel::LTD_DefaultTeX_Path());
}

std::string userPath(const std::string& absolute) {
  return path::appendComponent(processinfo::homeDirectory(), absolute);
}

bool isRealDirectory(FileSystem& fm, const std::string& p) {
  bool isDirectory = false;
  return fileExistsAtPath(fm, p, &isDirectory, false) && isDirectory;
}

// True at the first expected program that is an executable file in `folder`.
bool offersTeXProgram(FileSystem& fm, const std::string& folder) {
  for (const auto& program : Tools4Ostrakel::expectedPrograms()) {
    if (fm.resolvedExecutableFile(path::appendComponent(folder, program))) return true;
  }
  return false;
}

bool hasLinkText(FileSystem& fm, const std::string& p, const std::string& text) {
  auto stored = fm.destinationOfSymbolicLink(p, nullptr);
  return stored && *stored == text;
}

// /usr/texbin offers programs the chain does not: make the distribution it
// leads into the active one, every matching bridge in list order.
void adoptDistributionOf(FileSystem& fm, const std::string& usrTexbinResolved, PendingError& pending,
                         bool& result) {
  // A listing error (for instance a volume without a distributions folder) is
  // not this repair's failure; it must not stand in for a link's own error.
  ErrorRef listingError;
  const BridgeArray bridges = Tools4Ostrakel::getActualBridgesOrReturnError(&listingError);
  for (const auto& bridge : bridges) {
    ArchitectureRef match;
    for (const auto& architecture : bridge->architectures()) {
      if (architecture->destinationPath() == usrTexbinResolved) {
        match = architecture;
        break;
      }
    }
    if (!match) continue;
    if (!createSymbolicLinkAtPath(fm, Tools4Ostrakel::LTD_DefaultTeX_Contents_Path(),
                                  bridge->LTD_DefaultTeX_Contents_Destination(), pending.slot())) {
      pending.wrap(errorcode::kCreateDefaultTeXFolderFailed, result);
    }
    if (!createSymbolicLinkAtPath(fm, Programs_texbin_Path4Ostrakel(bridge->fileURL()), match->source(),
                                  pending.slot())) {
      pending.wrap(errorcode::kCreateUserDefaultTeXFolderFailed, result);
    }
  }
}

}  // namespace

bool Tools4Ostrakel::are_texbins_OK() {
  FileSystem& fm = fileManager();
  const bool folderOK = isRealDirectory(fm, defaultTeXFolder());
  const bool programsLinkOK = hasLinkText(fm, Programs_texbin_Path(), Programs_texbin_Destination());
  const bool programsOffer = offersTeXProgram(fm, Programs_texbin_Path());
  const bool usrLinkOK = hasLinkText(fm, usr_texbin_Path(), usr_texbin_Destination()) ||
                         fm.resolveSymlinks(usr_texbin_Path()) == fm.resolveSymlinks(Programs_texbin_Path());
  const bool usrOffer = offersTeXProgram(fm, usr_texbin_Path());
  return folderOK && programsLinkOK && programsOffer && usrLinkOK && usrOffer;
}

bool Tools4Ostrakel::fix_texbins_OrReturnError(ErrorSlot slot) {
  FileSystem& fm = fileManager();
  PendingError pending(slot);
  bool result = false;

  // The .DefaultTeX folder: a wrong item is removed, but nothing is made in its
  // place; the next .DefaultTeX/Contents link brings the folder back.
  const std::string folder = defaultTeXFolder();
  bool isDirectory = false;
  if (fileExistsAtPath(fm, folder, &isDirectory, false)) {
    if (isDirectory || fm.removeItem(folder, pending.slot())) {
      result = true;
    } else {
      pending.wrap(errorcode::kCreateDefaultTeXFolderFailed, result);
    }
  }

  const std::string programsResolvedBefore = fm.resolveSymlinks(Programs_texbin_Path());
  if (!createSymbolicLinkAtPath(fm, Programs_texbin_Path(), Programs_texbin_Destination(), pending.slot())) {
    pending.wrap(errorcode::kLinkProgramsTexbinFailed, result);
  }
  const bool chainOffers = offersTeXProgram(fm, Programs_texbin_Path());

  const std::string usrResolved = fm.resolveSymlinks(usr_texbin_Path());
  const bool usrOffers = offersTeXProgram(fm, usr_texbin_Path());
  if (programsResolvedBefore != usrResolved) {
    if (chainOffers || !usrOffers) {
      if (!createSymbolicLinkAtPath(fm, usr_texbin_Path(), usr_texbin_Destination(), pending.slot())) {
        pending.wrap(errorcode::kLinkUsrTexbinFailed, result);
      }
    } else {
      adoptDistributionOf(fm, usrResolved, pending, result);
    }
  }
  return result;
}

bool Tools4Ostrakel::are_user_texbins_OK() {
  FileSystem& fm = fileManager();
  return isRealDirectory(fm, userPath(LTD_DefaultTeX_Path())) &&
         hasLinkText(fm, userPath(Programs_texbin_Path()), Programs_texbin_Destination());
}

bool Tools4Ostrakel::fix_user_texbins_OrReturnError(ErrorSlot slot) {
  FileSystem& fm = fileManager();
  PendingError pending(slot);
  bool result = false;

  // Unlike the system-wide repair, the per-user one makes the folder again
  // after removing a wrong item, but only when something stood there.
  const std::string folder = userPath(LTD_DefaultTeX_Path());
  bool isDirectory = false;
  if (fileExistsAtPath(fm, folder, &isDirectory, false)) {
    if (!isDirectory && !fm.removeItem(folder, pending.slot())) {
      pending.wrap(errorcode::kCreateUserDefaultTeXFolderFailed, result);
    } else if (fm.createDirectory(folder, true, pending.slot())) {
      result = true;
    } else {
      pending.wrap(errorcode::kCreateUserDefaultTeXFolderFailed, result);
    }
  }

  if (!createSymbolicLinkAtPath(fm, userPath(Programs_texbin_Path()), Programs_texbin_Destination(),
                                pending.slot())) {
    pending.wrap(errorcode::kLinkUserProgramsTexbinFailed, result);
  }
  return result;
}

}  // namespace ostrakel
