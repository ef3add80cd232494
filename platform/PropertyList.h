// Property-list values and their reading and writing (XML and binary) through
// libplist. Values are immutable once built and shared by pointer.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/Error.h"

namespace ostrakel {

class PlistValue;
using PlistRef = std::shared_ptr<const PlistValue>;
using PlistArray = std::vector<PlistRef>;
using PlistDictionary = std::map<std::string, PlistRef>;

struct PlistDate {
  double secondsSince1970 = 0;  // wall-clock time, seconds since the Unix epoch
  bool operator==(const PlistDate&) const = default;
};
struct PlistData {
  std::string bytes;
  bool operator==(const PlistData&) const = default;
};

class PlistValue {
public:
  // Integers are int64_t; uint64_t holds only the unsigned values above the
  // signed range (2^63 to 2^64 - 1), so each number has one form.
  using Storage = std::variant<std::string, int64_t, double, bool, PlistDate, PlistData,
                               PlistArray, PlistDictionary, uint64_t>;

  explicit PlistValue(Storage storage) : storage_(std::move(storage)) {}

  static PlistRef string(std::string s);
  static PlistRef integer(int64_t i);
  // integer() within the signed range, the unsigned form above it.
  static PlistRef unsignedInteger(uint64_t u);
  static PlistRef real(double d);
  static PlistRef boolean(bool b);
  static PlistRef date(PlistDate d);
  static PlistRef data(std::string bytes);
  static PlistRef array(PlistArray a);
  static PlistRef dictionary(PlistDictionary d);

  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  const int64_t* asInteger() const { return std::get_if<int64_t>(&storage_); }
  const uint64_t* asLargeUnsignedInteger() const { return std::get_if<uint64_t>(&storage_); }
  const double* asReal() const { return std::get_if<double>(&storage_); }
  const bool* asBoolean() const { return std::get_if<bool>(&storage_); }
  const PlistDate* asDate() const { return std::get_if<PlistDate>(&storage_); }
  const PlistData* asData() const { return std::get_if<PlistData>(&storage_); }
  const PlistArray* asArray() const { return std::get_if<PlistArray>(&storage_); }
  const PlistDictionary* asDictionary() const { return std::get_if<PlistDictionary>(&storage_); }

  // Dictionary lookup; nullptr when this is no dictionary or the key is absent.
  PlistRef get(const std::string& key) const;
  const Storage& storage() const { return storage_; }
  bool operator==(const PlistValue& other) const;

private:
  Storage storage_;
};

namespace plist {

// Reads XML or binary property-list bytes; nullptr when they are not a valid
// property list (or nest deeper than a sane limit).
PlistRef parse(const std::string& bytes);
// Reads a file whose top level is a dictionary (root-mapped path); nullptr when
// missing, unreadable or not such a file.
PlistRef dictionaryWithContentsOfFile(const std::string& path);
std::optional<std::string> toXML(const PlistValue& value);
std::optional<std::string> toBinary(const PlistValue& value);

}  // namespace plist
}  // namespace ostrakel
