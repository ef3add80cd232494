// Reading and writing a field under its owner's lock, so that a reader never
// sees half of a write. Accessors of the model's records are one line each.
#pragma once

#include <mutex>
#include <utility>

namespace ostrakel {

// A copy of `field`, taken under `mutex`.
template <class T>
T lockedRead(std::mutex& mutex, const T& field) {
  std::lock_guard<std::mutex> lock(mutex);
  return field;
}

// Sets `field` to `value` under `mutex`.
template <class T, class V>
void lockedWrite(std::mutex& mutex, T& field, V&& value) {
  std::lock_guard<std::mutex> lock(mutex);
  field = std::forward<V>(value);
}

}  // namespace ostrakel
