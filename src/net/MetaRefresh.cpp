// The small HTML tag reader behind Transaction::metaRefresh.
#include "net/MetaRefresh.h"

#include <cctype>
#include <map>
#include <string_view>
#include <vector>

namespace zavro::detail {

namespace {

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trimWhitespaceFromEnds(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isWhitespace(text[begin])) ++begin;
  while (end > begin && isWhitespace(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string trimExtraWhitespace(std::string_view text) {
  std::string trimmed = trimWhitespaceFromEnds(text);
  std::string out;
  bool inRun = false;
  for (char c : trimmed) {
    if (isWhitespace(c)) {
      if (!inRun) out += ' ';
      inRun = true;
    } else {
      out += c;
      inRun = false;
    }
  }
  return out;
}

std::string replaceAll(std::string text, std::string_view target, std::string_view replacement) {
  size_t pos = 0;
  while ((pos = text.find(target, pos)) != std::string::npos) {
    text.replace(pos, target.size(), replacement);
    pos += replacement.size();
  }
  return text;
}

// Splits at `separator` except where it stands inside double quotes; trims each component, removes
// one pair of surrounding quotes and collapses doubled quotes.
std::vector<std::string> quotedComponents(const std::string& text, std::string_view separator) {
  std::vector<std::string> components;
  size_t position = 0;
  bool last = false;
  while (position < text.size() && !last) {
    const size_t start = position;
    size_t searchFrom = position;
    size_t end = text.size();
    bool quoted = false;
    for (;;) {
      size_t found = text.find(separator, searchFrom);
      if (found == std::string::npos) {
        end = text.size();
        searchFrom = text.size();
        last = true;
        break;
      }
      for (size_t i = searchFrom; i < found; ++i) {
        if (text[i] == '"') quoted = !quoted;
      }
      end = found;
      searchFrom = found + separator.size();
      if (!quoted) break;
    }
    std::string component = trimWhitespaceFromEnds(std::string_view(text).substr(start, end - start));
    if (!component.empty() && component.front() == '"' && component.back() == '"') {
      component.erase(0, 1);
      if (!component.empty()) component.pop_back();
    }
    components.push_back(replaceAll(std::move(component), "\"\"", "\""));
    position = searchFrom;
  }
  if (text.size() >= separator.size() &&
      text.compare(text.size() - separator.size(), separator.size(), separator) == 0) {
    components.emplace_back();
  }
  return components;
}

std::string legalKeyName(std::string_view text) {
  static constexpr std::string_view kLegal = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890_.:-";
  std::string out;
  for (char c : trimExtraWhitespace(text)) {
    if (c == ' ') c = '_';
    if (kLegal.find(c) != std::string_view::npos) {
      out += c;
      if (out.size() == 32) break;
    }
  }
  return out;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Attribute names (upper case) to values, the tag's name under "tag_name"; empty for no tag.
std::map<std::string, std::string> tagAttributes(const std::string& tagText) {
  std::map<std::string, std::string> attributes;
  std::vector<std::string> components = quotedComponents(trimExtraWhitespace(tagText), " ");
  if (components.empty()) return attributes;
  std::string name = upper(legalKeyName(components[0]));
  if (name.empty()) return attributes;
  for (size_t i = 1; i < components.size(); ++i) {
    std::vector<std::string> parts = quotedComponents(components[i], "=");
    if (parts.empty()) continue;
    attributes[upper(legalKeyName(parts[0]))] = parts.size() > 1 ? parts[1] : std::string();
  }
  attributes["tag_name"] = name;
  return attributes;
}

}  // namespace

std::optional<std::string> metaRefreshContent(const std::string& html) {
  // The pieces after each "<" that contain a ">", cut there.
  size_t open = html.find('<');
  while (open != std::string::npos) {
    size_t next = html.find('<', open + 1);
    size_t pieceEnd = next == std::string::npos ? html.size() : next;
    size_t close = html.find('>', open + 1);
    if (close != std::string::npos && close < pieceEnd) {
      auto tag = tagAttributes(html.substr(open + 1, close - open - 1));
      auto name = tag.find("tag_name");
      if (name != tag.end() && name->second == "META") {
        auto equiv = tag.find("HTTP-EQUIV");
        auto content = tag.find("CONTENT");
        if (equiv != tag.end() && content != tag.end() && upper(equiv->second) == "REFRESH") {
          return content->second;
        }
      }
    }
    open = next;
  }
  return std::nullopt;
}

}  // namespace zavro::detail
