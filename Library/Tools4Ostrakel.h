// Tools4Ostrakel: the static operations of the distribution manager, grouped by
// area: the layout paths, the architecture table, discovery and repair of the
// bridges, activation, the texbin chain, reset, context, the manager-tool links
// and the launchd job description.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Library/SystemVersion/SystemVersion.h"
#include "platform/Error.h"
#include "platform/FileURL.h"
#include "platform/PropertyList.h"

namespace ostrakel {

class Bridge4Ostrakel;
using BridgeRef = std::shared_ptr<Bridge4Ostrakel>;
using BridgeArray = std::vector<BridgeRef>;
using VersionsByArch = std::map<std::string, SystemVersionRef>;
using StringList = std::vector<std::string>;

// The built-in architecture table (a fresh value at each call of defaults()).
struct ArchitectureDefaults {
  VersionsByArch LSMinimumSystemVersionByArchitecture;
  VersionsByArch LSMaximumSystemVersionByArchitecture;
  std::map<std::string, StringList> ArchitectureNamesPriorityByArch;
  std::map<std::string, StringList> ArchitecturePriorityByArch;
  StringList ExpectedPrograms;
  StringList READMEs;
};

struct SortDescriptor {
  std::string keyPath;
  bool ascending;
};

class Tools4Ostrakel {
public:
  // Layout: fixed values.
  static std::string LTD_Path();
  static std::string LTD_DefaultTeX_Path();
  static std::string Programs_texbin_Path();
  static std::string Programs_texbin_Destination();
  static std::string usr_texbin_Path();
  static std::string usr_texbin_Destination();
  static std::string LTD_velmarmgr_Path();
  static std::string ULB_velmarmgr_Path();
  static std::string Programs_RelativePath();
  static std::string rootRelativePath();
  static std::string velmarExtension();
  // Layout: derived values.
  static std::string Contents_Component();
  static std::string Programs_texbin_RelativePath();
  static std::string LTD_texbin_Path();
  static std::string LTD_DefaultTeX_Contents_Path();
  static std::optional<std::string> LTD_DefaultTeX_Contents_Destination();
  static std::string velmarmgr_DestinationForName(const std::string& name);

  // Architecture table and processor detection.
  static ArchitectureDefaults defaults();
  static StringList expectedPrograms();
  static int32_t CPUType();
  static std::string archForCPU(int32_t type);
  static std::string arch();
  static int32_t CPUForArch(const std::string& name);
  static StringList architectureNamesOfCPU(int32_t type);
  static const StringList& architectureNames();
  static const StringList& archNames();
  static SystemVersionRef minimumSystemVersion();
  static SystemVersionRef maximumSystemVersion();
  static VersionsByArch minimumSystemVersionsByArch();
  static VersionsByArch maximumSystemVersionsByArch();
  static StringList architecturePriority();
  static const std::map<std::string, StringList>& architecturePriorityByArch();
  // The pure rules behind the cached lists, for any machine and system.
  static StringList architectureNamesFor(int32_t cpuType, const SystemVersion& running);
  static std::map<std::string, StringList> architecturePriorityByArchFor(const StringList& archNames);
  // The processor type from the sysctl-style values (logs an unknown family).
  static int32_t CPUTypeFrom(std::optional<int32_t> cputype, std::optional<int32_t> cpu64bitCapable,
                             std::optional<int32_t> optional64bitops);

  // Discovery and repair of the bridges' own links.
  static BridgeArray getBridgesAtPath(const std::string& folder, ErrorSlot slot);
  static BridgeArray getActualBridgesOrReturnError(ErrorSlot slot);
  static std::vector<SortDescriptor> sortDescriptors();
  // The bridges in the order of sortDescriptors (stable; undated bridges last).
  static BridgeArray sortedBridges(BridgeArray bridges);
  // `readAlready`: a bridge the caller has just read; its bundle is not read
  // a second time.
  static bool areBridgesOK(const BridgeRef& readAlready = nullptr);
  static bool fixBridgesOrReturnError(ErrorSlot slot);

  // Activation.
  static bool activateBridge(const BridgeRef& bridge, const std::optional<std::string>& source,
                             ErrorSlot slot);
  static bool activateBridgeWithName(const std::string& name, const std::string& source, ErrorSlot slot);
  // Without a URL the newest bridge offering the source is chosen; without a
  // source the bridge's default entry is activated.
  static bool activateBridgeAtURL(const std::optional<FileURL>& url, const std::optional<std::string>& source,
                                  ErrorSlot slot);
  static bool isActiveBridgeAtURL(const std::optional<FileURL>& url,
                                  const std::optional<std::string>& source);
  // The bundle a URL-less activation uses: the newest with the binary set
  // `source` that no user but root and the caller could change.
  static BridgeRef bridgeForActivation(const std::optional<std::string>& source, ErrorSlot slot);
  static bool isBridgeControlledByOthers(const BridgeRef& bridge);

  // The texbin chain.
  static bool are_texbins_OK();
  static bool fix_texbins_OrReturnError(ErrorSlot slot);
  static bool are_user_texbins_OK();
  static bool fix_user_texbins_OrReturnError(ErrorSlot slot);

  // Reset, context, manager links, launchd job description.
  static bool isResetOK();
  static bool resetOrReturnError(ErrorSlot slot);
  static bool isContextOK();
  static bool fixContextOrReturnError(ErrorSlot slot);
  static bool is_velmarmgr_OKForName(const std::string& name);
  static bool fix_velmarmgr_ForName(const std::string& name, ErrorSlot slot);
  static bool is_user_velmarmgr_OKForName(const std::string& name);
  static bool fix_user_velmarmgr_ForName(const std::string& name, ErrorSlot slot);
  static bool copyLaunchdInformation(const PlistRef& dictionary, ErrorSlot slot);
};

}  // namespace ostrakel
