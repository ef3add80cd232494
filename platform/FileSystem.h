// The file manager. Every path is a path inside the system root (see
// SystemRoot.h): absolute paths the logic uses are mapped into the root, and
// symbolic links are followed as if the root were "/". Tests swap the shared
// instance; the logic reaches the disk only through it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace ostrakel {

struct FileAttributes {
  std::optional<PlistDate> creationDate;
  std::optional<PlistDate> modificationDate;
};

// What one reading of a folder tells about an entry.
struct FolderEntry {
  enum class Kind { unknown, folder, link, other };
  std::string name;
  Kind kind = Kind::unknown;
  // For a link: the text it holds, when it could be read.
  std::optional<std::string> linkText;
  // The entry's own attributes (a link not followed), when they were asked
  // for; `attributes` is none when they could not be read.
  bool attributesRead = false;
  std::optional<FileAttributes> attributes;
};

struct FolderListing {
  std::vector<FolderEntry> entries;  // sorted by name, no "." or ".."
  // The folder's path with every link resolved, when the reading learned it.
  std::optional<std::string> resolvedPath;
};

class FileSystem {
public:
  virtual ~FileSystem() = default;

  // Follows symbolic links: a link counts only when its final target exists;
  // `isDirectory` (when given and something is found) describes the target.
  virtual bool fileExists(const std::string& path, bool* isDirectory = nullptr) = 0;
  // The text stored in the link at `path`, not followed; none (and an error in
  // the slot) when nothing is there or the item is not a link.
  virtual std::optional<std::string> destinationOfSymbolicLink(const std::string& path,
                                                               ErrorSlot slot) = 0;
  // Removes a file, a link (not its target) or a folder with its contents.
  virtual bool removeItem(const std::string& path, ErrorSlot slot) = 0;
  // Creates the folder (and, with `intermediates`, its missing ancestors).
  virtual bool createDirectory(const std::string& path, bool intermediates, ErrorSlot slot) = 0;
  // Creates a link holding `destination` unchanged; fails when anything is at `path`.
  virtual bool createSymbolicLink(const std::string& path, const std::string& destination,
                                  ErrorSlot slot) = 0;
  // Whether `path`, links followed, leads to a folder. When not, the slot says
  // why: nothing there or a dangling link (ENOENT), no folder (ENOTDIR), or a
  // link that may not be followed.
  virtual bool isFolder(const std::string& path, ErrorSlot slot) = 0;
  // Puts a link holding `destination` at `path`, replacing what stands there
  // atomically where the kernel allows: the link is made under a temporary name
  // in the same folder and renamed over the old item; only a real folder in the
  // way is removed first. On failure the old item is left in place. Temporary
  // links that killed processes left in that folder are removed.
  virtual bool replaceWithSymbolicLink(const std::string& path, const std::string& destination,
                                       ErrorSlot slot) = 0;
  // Entry names of a folder (no "." or ".."), sorted by byte value.
  virtual std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path,
                                                                      ErrorSlot slot) = 0;
  // The path with all symbolic links resolved (inside the root) and
  // standardised; components that do not exist are kept as they are.
  virtual std::string resolveSymlinks(const std::string& path) = 0;
  // Follows links; true for a regular file the process may execute.
  virtual bool isExecutableFile(const std::string& path) = 0;
  // Attributes of the item itself (a final link is not followed).
  virtual std::optional<FileAttributes> attributesOfItem(const std::string& path,
                                                         ErrorSlot slot) = 0;
  // The file's bytes; a file larger than `maxBytes` is refused unread (EFBIG).
  virtual std::optional<std::string> readFile(const std::string& path, size_t maxBytes, ErrorSlot slot) = 0;
  // Replaces the file only by a complete new one (write to a temporary, rename).
  virtual bool writeFileAtomically(const std::string& path, const std::string& bytes,
                                   ErrorSlot slot) = 0;
  // The root volume "/" first, then the other mounted volumes (no hidden ones).
  virtual std::vector<std::string> mountedVolumes() = 0;
  // The name shown for a path: its last component.
  virtual std::string displayName(const std::string& path) = 0;

  // One reading of a folder: what contentsOfDirectory gives (and the same
  // error), with what the reading tells besides: each entry's kind and link
  // text, its attributes (a link not followed) when `withAttributes`, and the
  // folder's resolved path. This version asks the other operations for the
  // names and attributes and leaves the rest unknown.
  virtual std::optional<FolderListing> readFolder(const std::string& path, bool withAttributes, ErrorSlot slot);
  // What isExecutableFile and resolveSymlinks give together: the resolved
  // path of the executable regular file `path` leads to, or none.
  virtual std::optional<std::string> resolvedExecutableFile(const std::string& path);
};

// The process's shared file manager (the real one on the system root unless a
// test installed another).
FileSystem& fileManager();
void setFileManager(std::shared_ptr<FileSystem> fileSystem);

}  // namespace ostrakel
