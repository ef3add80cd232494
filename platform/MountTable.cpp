#include "platform/MountTable.h"

#include <mntent.h>

#include <cstdio>

namespace ostrakel::mounttable {

std::vector<Mount> read(const char* table) {
  std::vector<Mount> mounts;
  std::FILE* file = ::setmntent(table, "re");
  if (!file) return mounts;
  // The whole table in one read where it fits (the stream's own buffer would
  // take it a kilobyte at a time).
  char block[16384];
  ::setvbuf(file, block, _IOFBF, sizeof block);
  mntent entry{};
  char buffer[8192];  // one line of the table; longer lines are skipped
  while (::getmntent_r(file, &entry, buffer, sizeof buffer))
    mounts.push_back({entry.mnt_fsname, entry.mnt_dir, entry.mnt_type});
  ::endmntent(file);
  return mounts;
}

bool isBlockDeviceFileSystem(const Mount& mount) {
  if (mount.device.rfind("/dev/", 0) != 0) return false;
  return mount.type != "fuse" && mount.type.rfind("fuse.", 0) != 0;
}

}  // namespace ostrakel::mounttable
