// The name of the service the model works for: the ident of its log lines, the
// label of its job description and the text domain of its messages. The model
// does not see the protocol header the service shares with its clients; the
// service checks at compile time that both name it alike.
#pragma once

namespace ostrakel {

inline constexpr const char* kServiceIdentity = "brennick.Helper";

}  // namespace ostrakel
