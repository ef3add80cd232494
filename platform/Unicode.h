// Unicode text services of the system's ICU: a regular expression with
// backtracking first-match semantics and full case mapping. ICU is loaded the
// first time one of them is needed (most names never need it), from the
// system, so that its security updates reach the helper.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrakel::unicode {

// Whether the system's ICU could be loaded (loads it on the first call).
bool available();

// A compiled expression; matching is safe from several threads at once.
class RegularExpression {
public:
  // nullptr when ICU is missing or the pattern does not compile.
  static std::unique_ptr<RegularExpression> compile(const std::string& pattern);
  ~RegularExpression();
  RegularExpression(const RegularExpression&) = delete;
  RegularExpression& operator=(const RegularExpression&) = delete;

  // One group of a match: byte offsets into the searched text; start is -1
  // for a group that did not take part.
  struct Range {
    int64_t start = -1;
    int64_t end = -1;
  };
  // The ranges of the first match in `text` (UTF-8, searched whole): the
  // whole match first, then every group; none when nothing matches. Bytes
  // that are not UTF-8 match as replacement characters but keep their
  // offsets.
  std::optional<std::vector<Range>> firstMatch(const std::string& text) const;

private:
  explicit RegularExpression(void* compiled) : compiled_(compiled) {}
  void* compiled_;
};

// The text lower-cased by the root locale's full Unicode mapping (bytes that
// are not UTF-8 become replacement characters). Without ICU only ASCII
// letters are lowered.
std::string lowercase(const std::string& text);
// The same through ICU even for ASCII text (the shortcut's reference).
std::string lowercaseByICU(const std::string& text);

}  // namespace ostrakel::unicode
