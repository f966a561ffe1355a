// String replacement and whitespace trimming helpers.
#include "common/StringReplacement.h"

#include <optional>

#include "common/StringSearch.h"

namespace zavro::strings {

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string replaceAll(std::string_view s, std::string_view target, std::string_view replacement, unsigned options) {
  std::string out(s);
  if (target.empty()) {
    return out;
  }
  bool caseless = (options & kCaseInsensitiveSearch) != 0;
  size_t start = 0;
  while (start < out.size()) {
    auto found = detail::findForward(out, target, start, out.size(), caseless);
    if (!found) {
      break;
    }
    out.replace(*found, target.size(), replacement);
    start = *found + replacement.size();
  }
  return out;
}

std::string replaceUsingDictionary(std::string_view s, const StringPairs& replacements, unsigned options) {
  std::string out(s);
  for (const auto& [target, replacement] : replacements) {
    out = replaceAll(out, target, replacement, options);
  }
  return out;
}

std::string replaceUsingDictionary(std::string_view s, const std::map<std::string, std::string>& replacements,
                                   unsigned options) {
  std::string out(s);
  for (const auto& [target, replacement] : replacements) {
    out = replaceAll(out, target, replacement, options);
  }
  return out;
}

std::string replace(std::string_view s, std::string_view target, std::string_view replacement, unsigned options) {
  std::string out(s);
  if (target.empty()) {
    return out;
  }
  bool caseless = (options & kCaseInsensitiveSearch) != 0;
  bool once = (options & kAnchoredSearch) != 0;
  size_t start = 0;
  while (start < out.size()) {
    auto found = detail::findForward(out, target, start, out.size(), caseless);
    if (!found || *found != start) {
      break;
    }
    out.replace(*found, target.size(), replacement);
    start = *found + replacement.size();
    if (once) {
      break;
    }
  }
  if (start < out.size()) {
    size_t end = out.size();
    while (start < end) {
      auto found = detail::findBackward(out, target, start, end, caseless);
      if (!found || *found + target.size() != out.size()) {
        break;
      }
      out.replace(*found, target.size(), replacement);
      end = *found;
      if (once) {
        break;
      }
    }
  }
  return out;
}

std::string trimWhitespaceFromEnds(std::string_view s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && isWhitespace(s[begin])) {
    ++begin;
  }
  while (end > begin && isWhitespace(s[end - 1])) {
    --end;
  }
  return std::string(s.substr(begin, end - begin));
}

std::string trimExtraWhitespace(std::string_view s) {
  std::string trimmed = trimWhitespaceFromEnds(s);
  std::string out;
  out.reserve(trimmed.size());
  bool inRun = false;
  for (char c : trimmed) {
    if (isWhitespace(c)) {
      if (!inRun) {
        out.push_back(' ');
      }
      inRun = true;
    } else {
      out.push_back(c);
      inRun = false;
    }
  }
  return out;
}

}  // namespace zavro::strings
