// The links that the reading of every bundle consults: .DefaultTeX/Contents
// (with the folder it leads to) and /usr/texbin. One operation reads them at
// most once, however many bundles it reads; nothing outlives the operation,
// so a change on disk shows at the next one.
#pragma once

#include <optional>
#include <string>

namespace ostrakel {

class SharedLinks {
public:
  // The text of .DefaultTeX/Contents; none when it is no link.
  const std::optional<std::string>& defaultTeXContents();
  // The folder .DefaultTeX/Contents leads to: its text appended to the link's
  // folder and standardised (even an absolute text), and that with every
  // link resolved. Only when the link exists.
  const std::string& defaultTeXTarget();
  const std::string& resolvedDefaultTeXTarget();
  // The text of /usr/texbin; none when it is no link.
  const std::optional<std::string>& usrTexbin();

private:
  std::optional<std::optional<std::string>> defaultTeXContents_, usrTexbin_;
  std::optional<std::string> target_, resolvedTarget_;
};

}  // namespace ostrakel
