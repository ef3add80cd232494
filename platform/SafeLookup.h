// Lookups for a thread that acts with root's rights. Root must never follow a
// link that someone else controls: the path is resolved one component at a
// time from the root's descriptor, and a step from a folder owned by a user
// other than root into one owned by anyone else, through a symbolic link or
// "..", is refused. Links that root owns in folders root owns are followed.
// Resolution stays inside the system root as with RESOLVE_IN_ROOT: absolute
// link texts start again at the root and ".." never leaves it.
#pragma once

#include <sys/types.h>

#include <cerrno>

#include <memory>
#include <string>

namespace ostrakel::safelookup {

// The errno of a refused step.
inline constexpr int kRefused = EPERM;

// Whether the calling thread acts with root's file-system rights (its fsuid is
// 0), so that its lookups must be safe.
bool required();
// To be called on the thread after its file-system ids changed.
void rightsChanged();

// Opens `path` (a path inside the root) with `flags` (O_PATH or an ordinary
// open), following a final link when `followFinal`. Returns the descriptor, or
// -1 with errno set (kRefused for an unsafe step). `linkMet` tells that the
// caller's own lookup of the path without links met one, so that the lookup
// starts at once with the steps. `resolved`, when given, receives on success
// the path inside the root (starting with "/") of what was opened.
int open(int rootFd, const std::string& path, int flags, bool followFinal, bool linkMet = false,
         std::string* resolved = nullptr);

// While one lives on a thread, that thread's lookups through links do not
// walk again what an earlier lookup of the scope walked: the same walk gives a
// copy of the same result. For read-only work (a check whether a repair is
// needed), during which the disk is taken not to change. An inner scope
// shares the outer one's results.
class ReadOnlyScope {
public:
  ReadOnlyScope();
  ~ReadOnlyScope();
  ReadOnlyScope(const ReadOnlyScope&) = delete;
  ReadOnlyScope& operator=(const ReadOnlyScope&) = delete;

private:
  bool owner_ = false;
};

// What a file manager remembers of its own reads for the life of the
// thread's ReadOnlyScope; dropped with the scope, or at once when the
// thread's rights change.
class ScopeMemory {
public:
  virtual ~ScopeMemory() = default;
};
// The thread's scope memory, made by `make` on first use; null outside a
// ReadOnlyScope.
ScopeMemory* scopeMemory(std::unique_ptr<ScopeMemory> (*make)());
// Drops the scope memory (after a change to the disk).
void forgetScopeMemory();

// Within a ReadOnlyScope, a lookup's caller that found a symbolic link at
// `path` (a path inside the root whose folders hold no link, as the lookups
// of the scope resolve it) says so: later lookups of the scope go straight to
// the steps there instead of first trying the path without links. Nothing
// outside a scope.
void noteLink(const std::string& path);
// Whether the thread is inside a ReadOnlyScope (notes are kept).
bool inScope();
// Whether the path's lookup without links would meet a link noted in the
// scope (its last component counts only when `withLast`).
bool crossesKnownLink(const std::string& path, bool withLast = true);

// Whether root would follow the link `linkOwner` owns, standing in a folder
// owned by `folderOwner`, to an absolute text (back to the root, owned by
// `rootOwner`). Relative texts are checked step by step as they are walked.
bool absoluteLinkAllowed(uid_t folderOwner, uid_t linkOwner, uid_t rootOwner);
// Who controls a link: the owner of its folder, or the link's own owner when
// root owns the folder.
uid_t linkController(uid_t folderOwner, uid_t linkOwner);

}  // namespace ostrakel::safelookup
