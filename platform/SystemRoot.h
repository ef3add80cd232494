// The system root: "/" unless OSTRAKEL_ROOT names a directory. Every absolute
// path of the program lies inside it, and symbolic links are resolved as if
// that directory were "/": an absolute link text resolves inside the root and
// ".." never climbs out of it.
#pragma once

#include <string>

namespace ostrakel::systemroot {

// The host directory that stands for "/" ("" when the root is the real "/").
std::string hostRoot();
// For tests: use another root ("" or "/" for the real one).
void setHostRoot(const std::string& root);
// The host path of a path inside the root (lexical; links are not resolved).
std::string toHost(const std::string& path);
// The path inside the root of a host path; none when it lies outside.
bool fromHost(const std::string& hostPath, std::string* path);
// A directory descriptor (O_PATH) of the root, for resolution inside it.
int rootDescriptor();

}  // namespace ostrakel::systemroot
