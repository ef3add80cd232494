// The kernel's table of mounted file systems, read with the C library's
// parser, which decodes the escapes of /proc/self/mounts (a space in a mount
// point is written "\040").
#pragma once

#include <string>
#include <vector>

namespace ostrakel::mounttable {

struct Mount {
  std::string device;      // the mounted device or file-system name
  std::string mountPoint;  // a host path
  std::string type;
};

// The entries of the table at `table` (a host path), in its order; none when
// it cannot be read.
std::vector<Mount> read(const char* table = "/proc/self/mounts");

// Whether the entry is a file system on a block device. A FUSE file system
// names its own "device" (any user may mount one on a folder of their own),
// so only the block-device kind of FUSE counts.
bool isBlockDeviceFileSystem(const Mount& mount);

}  // namespace ostrakel::mounttable
