// The system root: "/" unless OSTRAKEL_ROOT names a directory. Every absolute
// path of the program lies inside it.
#pragma once

#include <string>

namespace ostrakel::systemroot {

// The host directory that stands for "/" ("" when the root is the real "/").
const std::string& hostRoot();
// For tests: use another root ("" or "/" for the real one).
void setHostRoot(const std::string& root);
// The host path of a path inside the root.
std::string toHost(const std::string& path);
// Whether the root is the real "/".
bool isRealRoot();

}  // namespace ostrakel::systemroot
