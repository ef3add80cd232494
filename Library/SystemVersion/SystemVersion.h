// Operating-system versions major.minor.patch: lenient parsing, numeric order,
// and the shared first, last and running versions.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace ostrakel {

class SystemVersion;
using SystemVersionRef = std::shared_ptr<SystemVersion>;

class SystemVersion {
public:
  SystemVersion() = default;

  // Any property-list value (nullptr for none); a non-string gives 10.0.0 and,
  // with a slot, error 712 (replacing what the slot held).
  static SystemVersionRef systemVersionWithString(const PlistRef& value);
  static SystemVersionRef systemVersionWithString(const PlistRef& value, ErrorSlot slot);
  static SystemVersionRef systemVersionWithString(const std::string& text);
  void initWithString(const PlistRef& value, ErrorSlot slot);

  // -1, 0 or 1; nullptr counts as 0.0.0.
  int compare(const SystemVersion* rhs) const;
  int compare(const SystemVersionRef& rhs) const { return compare(rhs.get()); }
  std::string description() const;

  static SystemVersionRef firstSystemVersion();
  static SystemVersionRef lastSystemVersion();
  static SystemVersionRef runningSystemVersion();

  int64_t major() const { return major_.load(); }
  int64_t minor() const { return minor_.load(); }
  int64_t patch() const { return patch_.load(); }
  void setMajor(int64_t v) { major_.store(v); }
  void setMinor(int64_t v) { minor_.store(v); }
  void setPatch(int64_t v) { patch_.store(v); }

private:
  std::atomic<int64_t> major_{10}, minor_{0}, patch_{0};
};

}  // namespace ostrakel
