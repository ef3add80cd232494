#include "platform/PlistLibrary.h"

#include <dlfcn.h>

namespace ostrakel::plistlibrary {

namespace {

template <typename T>
bool bind(void* library, const char* name, T* slot) {
  *slot = reinterpret_cast<T>(dlsym(library, name));
  return *slot != nullptr;
}

const Functions* load() {
  // The library name the build found (OSTRAKEL_PLIST_SONAME, from CMake).
  void* library = dlopen(OSTRAKEL_PLIST_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (!library) return nullptr;
  static Functions f;
  bool ok = bind(library, "plist_new_dict", &f.new_dict) && bind(library, "plist_new_array", &f.new_array) &&
            bind(library, "plist_new_string", &f.new_string) && bind(library, "plist_new_bool", &f.new_bool) &&
            bind(library, "plist_new_uint", &f.new_uint) && bind(library, "plist_new_real", &f.new_real) &&
            bind(library, "plist_new_data", &f.new_data) && bind(library, "plist_new_date", &f.new_date) &&
            bind(library, "plist_free", &f.free) && bind(library, "plist_array_get_size", &f.array_get_size) &&
            bind(library, "plist_array_get_item", &f.array_get_item) &&
            bind(library, "plist_array_append_item", &f.array_append_item) &&
            bind(library, "plist_dict_new_iter", &f.dict_new_iter) &&
            bind(library, "plist_dict_next_item", &f.dict_next_item) &&
            bind(library, "plist_dict_set_item", &f.dict_set_item) &&
            bind(library, "plist_get_node_type", &f.get_node_type) &&
            bind(library, "plist_get_bool_val", &f.get_bool_val) &&
            bind(library, "plist_get_uint_val", &f.get_uint_val) &&
            bind(library, "plist_get_real_val", &f.get_real_val) &&
            bind(library, "plist_get_string_ptr", &f.get_string_ptr) &&
            bind(library, "plist_get_data_ptr", &f.get_data_ptr) &&
            bind(library, "plist_get_date_val", &f.get_date_val) &&
            bind(library, "plist_get_uid_val", &f.get_uid_val) &&
            bind(library, "plist_compare_node_value", &f.compare_node_value) && bind(library, "plist_from_bin", &f.from_bin) &&
            bind(library, "plist_from_xml", &f.from_xml) && bind(library, "plist_to_bin", &f.to_bin) &&
            bind(library, "plist_to_bin_free", &f.to_bin_free) && bind(library, "plist_to_xml", &f.to_xml) &&
            bind(library, "plist_to_xml_free", &f.to_xml_free);
  return ok ? &f : nullptr;
}

}  // namespace

const Functions* functions() {
  static const Functions* const loaded = load();
  return loaded;
}

}  // namespace ostrakel::plistlibrary
