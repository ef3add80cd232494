#include "platform/SystemdBus.h"

#include <dlfcn.h>

#include <mutex>

namespace ostrakel::systemdbus {

namespace {

template <typename T>
bool bind(void* library, const char* name, T* slot) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
  return *slot != nullptr;
}

Functions* load() {
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  static Functions f;
  bool ok = bind(library, "sd_bus_open_system", &f.open_system) &&
            bind(library, "sd_bus_message_new_method_call", &f.message_new_method_call) &&
            bind(library, "sd_bus_message_append", &f.message_append) &&
            bind(library, "sd_bus_call", &f.call) &&
            bind(library, "sd_bus_error_has_name", &f.error_has_name) &&
            bind(library, "sd_bus_message_enter_container", &f.message_enter_container) &&
            bind(library, "sd_bus_message_read", &f.message_read) &&
            bind(library, "sd_bus_error_free", &f.error_free) &&
            bind(library, "sd_bus_message_unref", &f.message_unref) &&
            bind(library, "sd_bus_flush_close_unref", &f.flush_close_unref);
  return ok ? &f : nullptr;
}

}  // namespace

const Functions* functions() {
  static const Functions* loaded = load();
  return loaded;
}

}  // namespace ostrakel::systemdbus
