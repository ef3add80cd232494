// Standard output of the command line: unbuffered, so that each text is out
// before the call returns, in the order of the calls.
#pragma once

#include <string_view>

namespace ostrakel::standardoutput {

// Writes all of `bytes` at once; a failed write is ignored, output never stops
// the caller.
void write(std::string_view bytes);

}  // namespace ostrakel::standardoutput
