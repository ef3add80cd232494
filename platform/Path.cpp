#include "platform/Path.h"

namespace ostrakel::path {

namespace {

// Collapses runs of '/' and drops a trailing '/' (but keeps a lone "/").
std::string tidy(const std::string& p) {
  if (p.find("//") == std::string::npos && (p.size() <= 1 || p.back() != '/')) return p;
  std::string out;
  out.reserve(p.size());
  for (char c : p) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  if (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

bool isAbsolute(const std::string& p) { return !p.empty() && p[0] == '/'; }

std::string appendComponent(const std::string& base, const std::string& component) {
  if (base.empty()) return tidy(component);
  if (component.empty()) return tidy(base);
  return tidy(base + "/" + component);
}

std::string deleteLastComponent(const std::string& p) {
  std::string t = tidy(p);
  if (t == "/") return "/";
  size_t slash = t.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return t.substr(0, slash);
}

std::string lastComponent(const std::string& p) {
  std::string t = tidy(p);
  if (t == "/") return "/";
  size_t slash = t.rfind('/');
  return slash == std::string::npos ? t : t.substr(slash + 1);
}

std::string extension(const std::string& p) {
  std::string last = lastComponent(p);
  size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return last.substr(dot + 1);
}

std::string deleteExtension(const std::string& p) {
  std::string t = tidy(p);
  std::string last = lastComponent(t);
  size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0 || last == "/") return t;
  return t.substr(0, t.size() - (last.size() - dot));
}

std::string appendExtension(const std::string& p, const std::string& ext) {
  return tidy(p) + "." + ext;
}

std::vector<std::string> components(const std::string& p) {
  std::vector<std::string> out;
  if (p.empty()) return out;
  if (p[0] == '/') out.push_back("/");
  size_t i = 0;
  while (i < p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    if (j > i) out.push_back(p.substr(i, j - i));
    i = j + 1;
  }
  return out;
}

std::string fromComponents(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out = appendComponent(out, part);
  return out;
}

std::string standardize(const std::string& p, const std::string& home) {
  std::string input = p;
  if (!home.empty() && !input.empty() && input[0] == '~' &&
      (input.size() == 1 || input[1] == '/'))
    input = home + input.substr(1);
  bool absolute = isAbsolute(input);
  std::vector<std::string> kept;
  for (const std::string& part : components(input)) {
    if (part == "/" || part == ".") continue;
    if (part == ".." && absolute) {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  // The kept parts hold no separator and are not empty: joined as they are.
  std::string out = absolute ? "/" : "";
  for (const std::string& part : kept) {
    if (!out.empty() && out.back() != '/') out.push_back('/');
    out += part;
  }
  if (out.empty() && !input.empty() && !absolute) return ".";
  return out;
}

}  // namespace ostrakel::path
