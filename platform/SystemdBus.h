// The system bus client library, loaded on first use. Only the service asks
// the authorization service over the bus; loading the library (and the
// libraries it pulls in) at every start would cost each command-line run
// several milliseconds for nothing.
#pragma once

#include <systemd/sd-bus.h>

namespace ostrakel::systemdbus {

struct Functions {
  int (*open_system)(sd_bus**);
  int (*message_new_method_call)(sd_bus*, sd_bus_message**, const char*, const char*, const char*,
                                 const char*);
  int (*message_append)(sd_bus_message*, const char*, ...);
  int (*call)(sd_bus*, sd_bus_message*, uint64_t, sd_bus_error*, sd_bus_message**);
  int (*error_has_name)(const sd_bus_error*, const char*);
  int (*message_enter_container)(sd_bus_message*, char, const char*);
  int (*message_read)(sd_bus_message*, const char*, ...);
  void (*error_free)(sd_bus_error*);
  sd_bus_message* (*message_unref)(sd_bus_message*);
  sd_bus* (*flush_close_unref)(sd_bus*);
};

// The library's functions, or nullptr when it cannot be loaded.
const Functions* functions();

}  // namespace ostrakel::systemdbus
