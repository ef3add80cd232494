// One binary set of a distribution bundle. Made only by the bridge reader.
// Every accessor is atomic; `bridge` does not own its bridge.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "Library/SystemVersion/SystemVersion.h"

namespace ostrakel {

class Bridge4Ostrakel;
class Architecture4Ostrakel;
using ArchitectureRef = std::shared_ptr<Architecture4Ostrakel>;
using NameSet = std::set<std::string>;

class Architecture4Ostrakel : public std::enable_shared_from_this<Architecture4Ostrakel> {
public:
  // initWithName:source:destinationPath:bridge:
  static ArchitectureRef initWithName(const std::string& name, const std::string& source,
                                      const std::optional<std::string>& destinationPath,
                                      const std::weak_ptr<Bridge4Ostrakel>& bridge);

  void addName(const std::optional<std::string>& name);

  std::string localizedDescription() const;
  std::string description() const;
  std::string roughDescription() const;
  std::string longDescription() const;

  std::string name() const;
  void setName(const std::string& v);
  std::string destinationPath() const;
  void setDestinationPath(const std::string& v);
  std::string source() const;
  void setSource(const std::string& v);
  std::shared_ptr<NameSet> names() const;
  void setNames(std::shared_ptr<NameSet> v);
  SystemVersionRef minimumSystemVersion() const;
  void setMinimumSystemVersion(SystemVersionRef v);
  SystemVersionRef maximumSystemVersion() const;
  void setMaximumSystemVersion(SystemVersionRef v);
  std::shared_ptr<Bridge4Ostrakel> bridge() const;  // none once the bridge is gone
  void setBridge(const std::weak_ptr<Bridge4Ostrakel>& v);
  std::string strongDescription() const;
  void setStrongDescription(const std::string& v);

private:
  mutable std::mutex mutex_;
  std::string name_;
  std::string destinationPath_;
  std::string source_;
  std::shared_ptr<NameSet> names_;
  SystemVersionRef minimumSystemVersion_;
  SystemVersionRef maximumSystemVersion_;
  std::weak_ptr<Bridge4Ostrakel> bridge_;
  std::string strongDescription_;
};

}  // namespace ostrakel
