// Reading a distribution bundle from disk: names, dates, the Info.plist keys
// and the binary sets of Contents/Programs.
#include <map>
#include <memory>

#include "Library/Bridge/Bridge4Ostrakel.h"
#include "Library/Bridge/SharedLinks.h"
#include "Library/Common/ErrorCodes.h"
#include "Library/Common/Errors.h"
#include "Library/Common/FileHelpers.h"
#include "Library/Common/LayoutPaths.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/ProcessInfo.h"

namespace ostrakel {

// Leading digits, and a parenthesised tail that follows them (or starts the
// name) and ends it. Evaluated with backtracking first-match semantics.
const char* Bridge4Ostrakel::kNamePattern = "(.*?)?(\\d+)?(.*?(?:\\((.*?)\\)$)?)?";

const unicode::RegularExpression* Bridge4Ostrakel::RE() {
  // Compiled on first use; the initialisation of a local static is safe
  // against concurrent first calls. Kept for the life of the process.
  static const unicode::RegularExpression* const pattern =
      unicode::RegularExpression::compile(kNamePattern).release();
  return pattern;
}

Bridge4Ostrakel::ParsedNames Bridge4Ostrakel::parseBaseName(const std::string& baseName) {
  // Every part of the expression is optional and the lazy ones come first, so
  // the first match starts at 0; a name that starts with neither a digit (of
  // any script) nor "(" leaves every group empty. Only ASCII is decided here.
  if (baseName.empty()) return {};
  const unsigned char first = static_cast<unsigned char>(baseName[0]);
  if (first < 0x80 && first != '(' && (first < '0' || first > '9')) return {};
  return matchNameExpression(baseName);
}

Bridge4Ostrakel::ParsedNames Bridge4Ostrakel::matchNameExpression(const std::string& baseName) {
  ParsedNames names;
  const unicode::RegularExpression* pattern = RE();
  if (!pattern) return names;
  std::optional<std::vector<unicode::RegularExpression::Range>> ranges = pattern->firstMatch(baseName);
  if (!ranges) return names;
  auto group = [&](size_t index) -> std::string {
    const unicode::RegularExpression::Range& r = (*ranges)[index];
    if (r.start < 0 || r.end <= r.start || r.end > static_cast<int64_t>(baseName.size())) return "";
    return baseName.substr(static_cast<size_t>(r.start), static_cast<size_t>(r.end - r.start));
  };
  if (ranges->size() >= 4) {
    names.headerName = group(1);
    names.numberName = group(2);
    names.trailerName = group(3);
  }
  if (ranges->size() >= 5) names.volumeName = group(4);
  return names;
}

bool Bridge4Ostrakel::validateMinimumSystemVersion(SystemVersionRef* value, ErrorSlot) {
  return value && *value;
}

bool Bridge4Ostrakel::validateMaximumSystemVersion(SystemVersionRef* value, ErrorSlot slot) {
  return validateMinimumSystemVersion(value, slot);
}

bool Bridge4Ostrakel::validateArchitecturePriority(PlistRef* value, ErrorSlot) {
  if (!value) return false;
  if (!*value) {
    *value = PlistValue::array({});
    return true;
  }
  const PlistArray* array = (*value)->asArray();
  if (!array) return false;
  PlistArray strings;
  for (const PlistRef& element : *array)
    if (element && element->asString()) strings.push_back(element);
  *value = PlistValue::array(std::move(strings));
  return true;
}

bool Bridge4Ostrakel::validateMinimumSystemVersionsByArch(const PlistRef* value, VersionsByArch* versions,
                                                          ErrorSlot slot) {
  if (!value || !versions) return false;
  versions->clear();
  if (!*value) return true;
  const PlistDictionary* dictionary = (*value)->asDictionary();
  if (!dictionary) return false;
  for (const auto& [key, element] : *dictionary) {
    if (!element || !element->asString()) continue;
    if (SystemVersionRef version = SystemVersion::systemVersionWithString(element, slot))
      (*versions)[key] = version;
  }
  return true;
}

bool Bridge4Ostrakel::validateMaximumSystemVersionsByArch(const PlistRef* value, VersionsByArch* versions,
                                                          ErrorSlot slot) {
  return validateMinimumSystemVersionsByArch(value, versions, slot);
}

namespace {

bool contains(const StringList& list, const std::string& item) {
  for (const std::string& element : list)
    if (element == item) return true;
  return false;
}

// A version key of Info.plist, or the default when it is absent or unusable.
SystemVersionRef versionFromInfo(const PlistRef& info, const char* key, SystemVersionRef fallback,
                                 ErrorRef* first) {
  PlistRef value = info ? info->get(key) : nullptr;
  if (value) {
    SystemVersionRef version = SystemVersion::systemVersionWithString(value, slotIfEmpty(first));
    if (Bridge4Ostrakel::validateMinimumSystemVersion(&version, slotIfEmpty(first))) return version;
  }
  return fallback;
}

VersionsByArch versionsFromInfo(const PlistRef& info, const char* key, VersionsByArch fallback,
                                ErrorRef* first) {
  PlistRef value = info ? info->get(key) : nullptr;
  VersionsByArch versions;
  if (value && Bridge4Ostrakel::validateMinimumSystemVersionsByArch(&value, &versions, slotIfEmpty(first)))
    return versions;
  return fallback;
}

// One program folder found for a listed name: the folder that holds the
// first expected program, links resolved.
struct ProgramFolder {
  bool found = false;
  std::string folder;
};

const FolderEntry* entryNamed(const FolderListing& listing, const std::string& name) {
  for (const FolderEntry& entry : listing.entries)
    if (entry.name == name) return &entry;
  return nullptr;
}

// Whether the lookup of `folder` met no link: its resolved path is the path
// itself (a path without ".." that reaches its folder through a link cannot
// spell that folder's resolved path), so its parents have no link either.
bool reachedWithoutLinks(const std::string& folder, const FolderListing& listing) {
  for (const std::string& part : path::components(folder))
    if (part == "..") return false;
  return listing.resolvedPath && *listing.resolvedPath == path::standardize(folder);
}

// The path of the entry `name` of the programs folder with links resolved.
// The listing already says it for a real folder, and for a link whose text
// names a real folder beside it; anything else is resolved on disk.
std::string resolvedEntry(FileSystem& fm, const std::string& programsPath, const FolderListing& listing,
                          const FolderEntry& entry) {
  if (listing.resolvedPath) {
    if (entry.kind == FolderEntry::Kind::folder) return path::appendComponent(*listing.resolvedPath, entry.name);
    const std::optional<std::string>& text = entry.linkText;
    if (entry.kind == FolderEntry::Kind::link && text && !text->empty() && *text != "." && *text != ".." &&
        text->find('/') == std::string::npos) {
      const FolderEntry* target = entryNamed(listing, *text);
      if (target && target->kind == FolderEntry::Kind::folder)
        return path::appendComponent(*listing.resolvedPath, target->name);
    }
  }
  return fm.resolveSymlinks(path::appendComponent(programsPath, entry.name));
}

// The entries of Contents/Programs, most preferred architecture name first.
// Names that lead to one binary folder merge into one entry.
ArchitectureArray readBinarySets(const std::string& programsPath, const FolderListing& listing,
                                 const std::weak_ptr<Bridge4Ostrakel>& bridge) {
  FileSystem& fm = fileManager();
  ArchitectureArray entries;
  const StringList& runnable = Tools4Ostrakel::architectureNames();
  const StringList programs = Tools4Ostrakel::expectedPrograms();

  std::vector<std::string> seenFolders;
  // Several names may resolve to one folder; its programs are probed once.
  std::map<std::string, ProgramFolder> probed;
  for (const std::string& name : runnable) {
    const FolderEntry* listed = entryNamed(listing, name);
    if (!listed) continue;
    const std::string folder = resolvedEntry(fm, programsPath, listing, *listed);
    auto known = probed.find(folder);
    if (known == probed.end()) {
      ProgramFolder result;
      for (const std::string& program : programs) {
        // The real folder of the program found tells binary sets apart.
        std::optional<std::string> found = fm.resolvedExecutableFile(path::appendComponent(folder, program));
        if (!found) continue;
        result.found = true;
        result.folder = path::deleteLastComponent(*found);
        break;
      }
      known = probed.emplace(folder, result).first;
    }
    if (!known->second.found) continue;

    const std::string own = path::lastComponent(folder);
    const std::string entryName = contains(runnable, own) ? own : name;
    for (const ArchitectureRef& entry : entries)
      if (entry->destinationPath() == folder) entry->addName(entryName);
    if (!contains(seenFolders, known->second.folder)) {
      entries.push_back(Architecture4Ostrakel::initWithName(entryName, name, folder, bridge));
      seenFolders.push_back(known->second.folder);
    }
  }
  return entries;
}

// The text of the bundle's own texbin link, from the programs folder's
// listing when it says it.
std::optional<std::string> texbinText(FileSystem& fm, const FileURL& url, const FolderListing& listing) {
  const FolderEntry* entry = entryNamed(listing, path::lastComponent(Tools4Ostrakel::Programs_texbin_RelativePath()));
  if (!entry || entry->kind == FolderEntry::Kind::folder || entry->kind == FolderEntry::Kind::other)
    return std::nullopt;
  if (entry->kind == FolderEntry::Kind::link && entry->linkText) return entry->linkText;
  return fm.destinationOfSymbolicLink(Programs_texbin_Path4Ostrakel(url), nullptr);
}

}  // namespace

Bridge4Ostrakel::Names Bridge4Ostrakel::namesOfBundleAt(const std::string& bundlePath) {
  Names names;
  names.displayName = path::deleteExtension(fileManager().displayName(bundlePath));
  names.baseName =
      path::deleteExtension(path::lastComponent(path::standardize(bundlePath, processinfo::homeDirectory())));
  names.parsed = parseBaseName(names.baseName);
  return names;
}

BridgeRef Bridge4Ostrakel::initWithContentsOfURL(const FileURL& url, ErrorSlot slot) {
  SharedLinks links;
  return initWithContentsOfURL(url, slot, links, nullptr);
}

BridgeRef Bridge4Ostrakel::initWithContentsOfURL(const FileURL& url, ErrorSlot slot, SharedLinks& links,
                                                 const FolderEntry* entry) {
  if (path::extension(url.path) != Tools4Ostrakel::velmarExtension()) return nullptr;

  auto bridge = std::make_shared<Bridge4Ostrakel>();
  FileSystem& fm = fileManager();
  ErrorRef first;  // the first error met while reading; never leaves the reader

  bridge->setFileURL(url);
  bridge->setArchitectures({});
  const Names names = namesOfBundleAt(url.path);
  bridge->setDisplayName(names.displayName);
  bridge->setBaseName(names.baseName);
  bridge->setVolumeName(names.parsed.volumeName);
  bridge->setTrailerName(names.parsed.trailerName);
  bridge->setNumberName(names.parsed.numberName);
  bridge->setHeaderName(names.parsed.headerName);
  const std::string normalised = path::standardize(url.path, processinfo::homeDirectory());
  const std::vector<std::string> components = path::components(normalised);
  bridge->setRealVolumeName(components.size() >= 3 && components[1] == "Volumes" ? components[2] : "");

  std::optional<FileAttributes> attributes =
      entry && entry->attributesRead ? entry->attributes : fm.attributesOfItem(url.path, slotIfEmpty(&first));
  if (attributes) {
    bridge->setCreationDate(attributes->creationDate);
    bridge->setModificationDate(attributes->modificationDate);
  }
  const PlistRef info = infoDictionary4Ostrakel(url.path);
  bridge->setMinimumSystemVersion(
      versionFromInfo(info, "LSMinimumSystemVersion", Tools4Ostrakel::minimumSystemVersion(), &first));
  bridge->setMaximumSystemVersion(
      versionFromInfo(info, "LSMaximumSystemVersion", Tools4Ostrakel::maximumSystemVersion(), &first));
  StringList priority = Tools4Ostrakel::architecturePriority();
  if (PlistRef value = info ? info->get("LSArchitecturePriority") : nullptr;
      value && validateArchitecturePriority(&value, slotIfEmpty(&first))) {
    priority.clear();
    for (const PlistRef& element : *value->asArray()) priority.push_back(*element->asString());
  }
  bridge->setArchitecturePriority(priority);
  bridge->setMinimumSystemVersionsByArch(versionsFromInfo(info, "LSMinimumSystemVersionByArchitecture",
                                                          Tools4Ostrakel::minimumSystemVersionsByArch(), &first));
  bridge->setMaximumSystemVersionsByArch(versionsFromInfo(info, "LSMaximumSystemVersionByArchitecture",
                                                          Tools4Ostrakel::maximumSystemVersionsByArch(), &first));

  const std::string programsPath = Programs_Path4Ostrakel(url);
  std::optional<FolderListing> listing = fm.readFolder(programsPath, false, slotIfEmpty(&first));
  ArchitectureArray entries = listing ? readBinarySets(programsPath, *listing, bridge) : ArchitectureArray{};
  if (entries.empty()) {
    storeFirstError(slot,
                    errorWithCode(kOstrakelErrorDomain, errorcode::kWrongBinaries, nullptr, url.absoluteString()));
    return nullptr;
  }
  bridge->setArchitectures(entries);
  ArchitectureArray forPresentation = entries;
  forPresentation.push_back(
      Architecture4Ostrakel::initWithName(".DefaultArchitecture", ".DefaultArchitecture", std::string(), bridge));
  bridge->setArchitectures4UI(forPresentation);
  // A programs folder whose path holds no link tells the Contents folder's
  // resolved path without another lookup.
  const std::string contents = Contents_Path4Ostrakel(url);
  const bool plainPath = reachedWithoutLinks(programsPath, *listing);
  bridge->updateActivityStatus(links, texbinText(fm, url, *listing), [&] {
    return plainPath ? path::standardize(contents) : fm.resolveSymlinks(contents);
  });
  return bridge;
}

}  // namespace ostrakel
