#include "platform/StandardOutput.h"

#include <unistd.h>

#include "platform/WriteAll.h"

namespace ostrakel::standardoutput {

void write(std::string_view bytes) { writeAll(STDOUT_FILENO, bytes); }

}  // namespace ostrakel::standardoutput
