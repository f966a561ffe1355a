// Picking tags, attributes and comment values out of web pages.
#include "common/HTMLParsers.h"

#include "common/QueryString.h"
#include "common/StringReplacement.h"
#include "common/StringTokenizers.h"

namespace zavro::strings {
namespace {

std::string upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return s;
}

}  // namespace

TagDictionary HTMLTagAttributes(std::string_view tagText) {
  TagDictionary tag;
  auto components = quotedComponentsSeparatedByString(trimExtraWhitespace(tagText), " ");
  if (components.empty()) {
    return tag;
  }
  std::string name = upper(legalKeyName(components[0]));
  if (name.empty()) {
    return tag;
  }
  for (size_t i = 1; i < components.size(); ++i) {
    auto parts = quotedComponentsSeparatedByString(components[i], "=");
    if (parts.empty()) {
      continue;
    }
    tag[upper(legalKeyName(parts[0]))] = parts.size() > 1 ? parts[1] : std::string();
  }
  tag[kTagNameKey] = name;
  return tag;
}

std::vector<TagDictionary> HTMLTags(std::string_view page) {
  std::vector<TagDictionary> tags;
  for (const auto& text : componentsBetweenString(page, "<", ">")) {
    TagDictionary tag = HTMLTagAttributes(text);
    if (tag.count(kTagNameKey) != 0) {
      tags.push_back(std::move(tag));
    }
  }
  return tags;
}

std::map<std::string, std::vector<TagDictionary>> CannonicalHTMLTags(std::string_view page) {
  std::map<std::string, std::vector<TagDictionary>> groups;
  for (auto& tag : HTMLTags(page)) {
    std::string name = tag[kTagNameKey];
    groups[name].push_back(std::move(tag));
  }
  return groups;
}

std::vector<std::string> HTMLComments(std::string_view page) {
  return componentsBetweenString(page, "<!--", "-->");
}

std::map<std::string, std::string> keyValuePairsFromHTMLComments(std::string_view page) {
  std::map<std::string, std::string> pairs;
  for (const auto& comment : HTMLComments(page)) {
    auto parts = componentsSeparatedByString(comment, "=");
    if (parts.size() < 2) {
      continue;
    }
    std::string key = legalKeyName(parts[0]);
    std::string value = trimWhitespaceFromEnds(parts[1]);
    if (!key.empty() && !value.empty()) {
      pairs[key] = value;
    }
  }
  return pairs;
}

}  // namespace zavro::strings
