// libplist, loaded from the system the first time a property list is read or
// written, so that a command that needs none starts without it (and without
// the libraries it pulls in).
#pragma once

#include <plist/plist.h>

namespace ostrakel::plistlibrary {

struct Functions {
  decltype(&plist_new_dict) new_dict;
  decltype(&plist_new_array) new_array;
  decltype(&plist_new_string) new_string;
  decltype(&plist_new_bool) new_bool;
  decltype(&plist_new_uint) new_uint;
  decltype(&plist_new_real) new_real;
  decltype(&plist_new_data) new_data;
  decltype(&plist_new_date) new_date;
  decltype(&plist_free) free;
  decltype(&plist_array_get_size) array_get_size;
  decltype(&plist_array_get_item) array_get_item;
  decltype(&plist_array_append_item) array_append_item;
  decltype(&plist_dict_new_iter) dict_new_iter;
  decltype(&plist_dict_next_item) dict_next_item;
  decltype(&plist_dict_set_item) dict_set_item;
  decltype(&plist_get_node_type) get_node_type;
  decltype(&plist_get_bool_val) get_bool_val;
  decltype(&plist_get_uint_val) get_uint_val;
  decltype(&plist_get_real_val) get_real_val;
  decltype(&plist_get_string_ptr) get_string_ptr;
  decltype(&plist_get_data_ptr) get_data_ptr;
  decltype(&plist_get_date_val) get_date_val;
  decltype(&plist_get_uid_val) get_uid_val;
  decltype(&plist_compare_node_value) compare_node_value;
  decltype(&plist_from_bin) from_bin;
  decltype(&plist_from_xml) from_xml;
  decltype(&plist_to_bin) to_bin;
  decltype(&plist_to_bin_free) to_bin_free;
  decltype(&plist_to_xml) to_xml;
  decltype(&plist_to_xml_free) to_xml_free;
};

// The library's functions (loaded on the first call, once per process);
// nullptr when the library cannot be loaded.
const Functions* functions();

}  // namespace ostrakel::plistlibrary
