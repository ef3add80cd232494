// Path-string operations with the behaviour the layout logic relies on. Pure
// functions: none of them touches the file system.
#pragma once

#include <string>
#include <vector>

namespace ostrakel::path {

// Joins with exactly one separator, collapses doubled separators and drops a
// trailing one; joining onto an empty path gives the component.
std::string appendComponent(const std::string& base, const std::string& component);
// Removes the last component and the separator before it; a trailing
// separator does not count ("Contents/Programs/" gives "Contents").
std::string deleteLastComponent(const std::string& path);
std::string lastComponent(const std::string& path);
// Extension of the last component, without the dot; "" when there is none.
std::string extension(const std::string& path);
std::string deleteExtension(const std::string& path);
std::string appendExtension(const std::string& path, const std::string& extension);
// Leading "~" expanded to `home`, "." components and doubled and trailing
// separators removed, ".." of an absolute path folded (never above "/").
std::string standardize(const std::string& path, const std::string& home = {});
// "/a/b" gives "/", "a", "b".
std::vector<std::string> components(const std::string& path);
std::string fromComponents(const std::vector<std::string>& components);
bool isAbsolute(const std::string& path);

}  // namespace ostrakel::path
