// A budget for the log lines that refusing a peer writes, kept per peer user
// across all its connections: a user who opens connection after connection
// with bad input must not flood the system log (and make the log daemon drop
// the service's own lines).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace ostrakel::refusallog {

// At most this many refusal lines per user and second.
inline constexpr int kLinesPerSecond = 10;

// Whether a refusal line caused by user `uid` may be written now. When it may
// and lines of this user were held back before, `summary` receives the line
// that says how many (to be written first); otherwise it is left empty.
bool admit(uid_t uid, std::string& summary);

// The summary lines of users whose budget has renewed since lines were held
// back, for the caller to write; the counts start again from zero.
std::vector<std::string> takeSummaries();

}  // namespace ostrakel::refusallog
