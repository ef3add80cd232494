// The assertion handler: a failed precondition throws an
// internal-inconsistency exception carrying the description, the source file
// name and the line.
#pragma once

#include <stdexcept>
#include <string>

namespace ostrakel {

class InternalInconsistencyException : public std::logic_error {
public:
  InternalInconsistencyException(std::string description, std::string file, int line);
  const std::string& description() const { return description_; }
  const std::string& file() const { return file_; }
  int line() const { return line_; }

private:
  std::string description_;
  std::string file_;
  int line_;
};

[[noreturn]] void assertionFailure(const std::string& description, const std::string& file,
                                   int line);
// "Invalid parameter not satisfying: CONDITION"
[[noreturn]] void invalidParameter(const std::string& condition, const std::string& file, int line);

}  // namespace ostrakel
