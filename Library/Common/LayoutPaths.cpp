// The fixed places of the TeX layout and the texts its links hold. Every other
// operation takes its paths from here, so the chain
//   /usr/texbin -> Programs/texbin -> .DefaultTeX/Contents -> bridge -> arch
// is spelled out in exactly one file.
#include "Library/Common/LayoutPaths.h"

#include "Library/Tools4Ostrakel.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace ostrakel {

// Fixed values.
std::string Tools4Ostrakel::LTD_Path() { return "/Library/TeX/Distributions/"; }
std::string Tools4Ostrakel::LTD_DefaultTeX_Path() { return "/Library/TeX/Distributions/.DefaultTeX/"; }
std::string Tools4Ostrakel::Programs_texbin_Path() { return "/Library/TeX/Distributions/Programs/texbin"; }
std::string Tools4Ostrakel::Programs_texbin_Destination() { return "../.DefaultTeX/Contents/Programs/texbin"; }
std::string Tools4Ostrakel::usr_texbin_Path() { return "/usr/texbin"; }
std::string Tools4Ostrakel::usr_texbin_Destination() { return "../Library/TeX/Distributions/Programs/texbin"; }
std::string Tools4Ostrakel::LTD_velmarmgr_Path() { return "/Library/TeX/Distributions/Programs/velmarmgr"; }
std::string Tools4Ostrakel::ULB_velmarmgr_Path() { return "/usr/local/bin/velmarmgr"; }
std::string Tools4Ostrakel::Programs_RelativePath() { return "Contents/Programs/"; }
std::string Tools4Ostrakel::rootRelativePath() { return "Contents/Root/"; }
std::string Tools4Ostrakel::velmarExtension() { return "velmar"; }

// Derived values: built from the fixed ones so that a change there carries over.
std::string Tools4Ostrakel::Contents_Component() {
  return path::deleteLastComponent(Programs_RelativePath());
}

std::string Tools4Ostrakel::Programs_texbin_RelativePath() {
  return path::appendComponent(Programs_RelativePath(), "texbin");
}

std::string Tools4Ostrakel::LTD_texbin_Path() {
  return path::appendComponent(LTD_DefaultTeX_Path(), Programs_texbin_RelativePath());
}

std::string Tools4Ostrakel::LTD_DefaultTeX_Contents_Path() {
  return path::deleteLastComponent(path::deleteLastComponent(LTD_texbin_Path()));
}

std::optional<std::string> Tools4Ostrakel::LTD_DefaultTeX_Contents_Destination() {
  return fileManager().destinationOfSymbolicLink(LTD_DefaultTeX_Contents_Path(), nullptr);
}

std::string Tools4Ostrakel::velmarmgr_DestinationForName(const std::string& name) {
  std::string bundle = path::appendComponent("/Library/PreferencePanes/", name);
  return path::appendComponent(contentsPath4Ostrakel(bundle), "Executables/velmarmgr");
}

// On a bridge's file URL.
std::string Contents_Path4Ostrakel(const FileURL& url) {
  return path::appendComponent(url.path, Tools4Ostrakel::Contents_Component());
}

std::string Programs_Path4Ostrakel(const FileURL& url) {
  return path::appendComponent(url.path, Tools4Ostrakel::Programs_RelativePath());
}

std::string Programs_texbin_Path4Ostrakel(const FileURL& url) {
  return path::appendComponent(url.path, Tools4Ostrakel::Programs_texbin_RelativePath());
}

std::optional<std::string> Programs_texbin_Destination4Ostrakel(const FileURL& url) {
  return fileManager().destinationOfSymbolicLink(Programs_texbin_Path4Ostrakel(url), nullptr);
}

// On strings.
std::string contentsPath4Ostrakel(const std::string& s) { return path::appendComponent(s, "Contents"); }
std::string basePath4Ostrakel(const std::string& s) { return path::appendComponent(s, "Base"); }
std::string rootPath4Ostrakel(const std::string& s) { return path::appendComponent(s, "Root"); }
std::string distributionsPath4Ostrakel(const std::string& s) {
  return path::appendComponent(s, "Distributions");
}

std::string stringByAppendingRightNameComponent4Ostrakel(const std::string& s,
                                                        const std::string& component) {
  return path::appendExtension(s, component);
}

}  // namespace ostrakel
