#include "platform/PlainXmlPropertyList.h"

#include "platform/PropertyListGuard.h"

namespace ostrakel::plist {

namespace {

class PlainReader {
public:
  explicit PlainReader(std::string_view text) : text_(text) {}

  std::optional<PlistRef> document() {
    skipSpace();
    if (take("<?xml") && !skipPast("?>")) return std::nullopt;
    skipSpace();
    if (take("<!DOCTYPE")) {
      // An internal subset could declare entities: not plain.
      size_t end = text_.find('>', at_);
      if (end == std::string_view::npos || text_.substr(at_, end - at_).find('[') != std::string_view::npos)
        return std::nullopt;
      at_ = end + 1;
    }
    skipSpace();
    if (!take("<plist") || !skipAttributes()) return std::nullopt;
    skipSpace();
    PlistRef root = value(1);
    skipSpace();
    if (!root || !take("</plist>")) return std::nullopt;
    skipSpace();
    if (at_ != text_.size()) return std::nullopt;
    return root;
  }

private:
  PlistRef value(int depth) {
    if (take("<string>")) {
      std::optional<std::string> s = textUntil("</string>");
      return s ? PlistValue::string(std::move(*s)) : nullptr;
    }
    if (take("<string/>")) return PlistValue::string(std::string());
    if (take("<true/>")) return PlistValue::boolean(true);
    if (take("<false/>")) return PlistValue::boolean(false);
    if (take("<integer>")) return integer();
    if (depth > kMaxDepth) return nullptr;
    if (take("<dict/>")) return PlistValue::dictionary({});
    if (take("<array/>")) return PlistValue::array({});
    if (take("<dict>")) {
      PlistDictionary entries;
      for (skipSpace(); !take("</dict>"); skipSpace()) {
        if (!take("<key>")) return nullptr;
        std::optional<std::string> key = textUntil("</key>");
        if (!key) return nullptr;
        skipSpace();
        PlistRef item = value(depth + 1);
        // A key given twice is left to the library's own rule.
        if (!item || !entries.emplace(std::move(*key), std::move(item)).second) return nullptr;
      }
      return PlistValue::dictionary(std::move(entries));
    }
    if (take("<array>")) {
      PlistArray items;
      for (skipSpace(); !take("</array>"); skipSpace()) {
        PlistRef item = value(depth + 1);
        if (!item) return nullptr;
        items.push_back(std::move(item));
      }
      return PlistValue::array(std::move(items));
    }
    return nullptr;
  }

  // A decimal integer without sign tricks: an optional minus, no leading
  // zeros, at most 18 digits (so it fits whatever way it is read).
  PlistRef integer() {
    std::optional<std::string> digits = textUntil("</integer>");
    if (!digits) return nullptr;
    std::string_view d = *digits;
    const bool negative = !d.empty() && d[0] == '-';
    if (negative) d.remove_prefix(1);
    if (d.empty() || d.size() > 18 || (d.size() > 1 && d[0] == '0')) return nullptr;
    int64_t value = 0;
    for (char c : d) {
      if (c < '0' || c > '9') return nullptr;
      value = value * 10 + (c - '0');
    }
    return PlistValue::integer(negative ? -value : value);
  }

  // Printable ASCII, tabs and line feeds up to `end`; none for anything that
  // needs decoding (entities, carriage returns) or that the library might
  // treat its own way.
  std::optional<std::string> textUntil(std::string_view end) {
    size_t stop = text_.find('<', at_);
    if (stop == std::string_view::npos || text_.substr(stop, end.size()) != end) return std::nullopt;
    std::string_view content = text_.substr(at_, stop - at_);
    for (unsigned char c : content) {
      if (c == '&' || c == '>' || c >= 0x7f || (c < 0x20 && c != '\t' && c != '\n'))
        return std::nullopt;
    }
    at_ = stop + end.size();
    return std::string(content);
  }

  // The rest of the plist start tag: attributes of plain text, then ">".
  bool skipAttributes() {
    if (at_ >= text_.size() || (text_[at_] != ' ' && text_[at_] != '>')) return false;
    size_t end = text_.find('>', at_);
    if (end == std::string_view::npos) return false;
    for (char c : text_.substr(at_, end - at_)) {
      if (c == '<' || c == '&' || c == '/') return false;
    }
    at_ = end + 1;
    return true;
  }

  bool skipPast(std::string_view marker) {
    size_t found = text_.find(marker, at_);
    if (found == std::string_view::npos) return false;
    at_ = found + marker.size();
    return true;
  }

  void skipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }

  bool take(std::string_view literal) {
    if (text_.substr(at_, literal.size()) != literal) return false;
    at_ += literal.size();
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

std::optional<PlistRef> readPlainXML(std::string_view text) { return PlainReader(text).document(); }

}  // namespace ostrakel::plist
