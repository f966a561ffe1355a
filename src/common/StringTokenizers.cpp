// Splitting helpers: the quoted splitter and the pieces between two markers.
#include "common/StringTokenizers.h"

#include "common/StringReplacement.h"

namespace zavro::strings {

std::vector<std::string> quotedComponentsSeparatedByString(std::string_view s, std::string_view separator) {
  std::vector<std::string> out;
  size_t p = 0;
  while (p < s.size()) {
    size_t componentStart = p;
    size_t componentEnd = s.size();
    bool quoted = false;
    size_t search = p;
    for (;;) {
      size_t found = separator.empty() ? std::string_view::npos : s.find(separator, search);
      if (found == std::string_view::npos) {
        componentEnd = s.size();
        p = s.size();
        break;
      }
      for (size_t i = search; i < found; ++i) {
        if (s[i] == '"') {
          quoted = !quoted;
        }
      }
      componentEnd = found;
      search = found + separator.size();
      p = search;
      if (!quoted) {
        break;
      }
    }
    std::string component = trimWhitespaceFromEnds(s.substr(componentStart, componentEnd - componentStart));
    if (!component.empty() && component.front() == '"' && component.back() == '"') {
      component = replace(component, "\"", "", kLiteralSearch | kAnchoredSearch);
    }
    out.push_back(replaceAll(component, "\"\"", "\"", kLiteralSearch));
  }
  if (!separator.empty() && s.size() >= separator.size() && s.substr(s.size() - separator.size()) == separator) {
    out.emplace_back();
  }
  return out;
}

std::vector<std::string> componentsSeparatedByString(std::string_view s, std::string_view separator) {
  std::vector<std::string> out;
  if (separator.empty()) {
    out.emplace_back(s);
    return out;
  }
  size_t start = 0;
  for (;;) {
    size_t found = s.find(separator, start);
    if (found == std::string_view::npos) {
      out.emplace_back(s.substr(start));
      return out;
    }
    out.emplace_back(s.substr(start, found - start));
    start = found + separator.size();
  }
}

std::vector<std::string> componentsBetweenString(std::string_view s, std::string_view opening,
                                                 std::string_view closing) {
  std::vector<std::string> out;
  if (opening.empty() || closing.empty()) {
    return out;
  }
  auto pieces = componentsSeparatedByString(s, opening);
  for (size_t i = 1; i < pieces.size(); ++i) {
    size_t end = pieces[i].find(closing);
    if (end != std::string::npos) {
      out.push_back(pieces[i].substr(0, end));
    }
  }
  return out;
}

}  // namespace zavro::strings
