#include "platform/Assertion.h"

namespace ostrakel {

InternalInconsistencyException::InternalInconsistencyException(std::string description,
                                                               std::string file, int line)
    : std::logic_error(description),
      description_(std::move(description)),
      file_(std::move(file)),
      line_(line) {}

void assertionFailure(const std::string& description, const std::string& file, int line) {
  throw InternalInconsistencyException(description, file, line);
}

void invalidParameter(const std::string& condition, const std::string& file, int line) {
  assertionFailure("Invalid parameter not satisfying: " + condition, file, line);
}

}  // namespace ostrakel
