// Picking tags, attributes and comment values out of web pages (login gateways), without a full parser.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zavro::strings {

// Upper-case attribute names → values, plus the tag's own name (upper case) under "tag_name".
using TagDictionary = std::map<std::string, std::string>;

inline constexpr const char* kTagNameKey = "tag_name";

// The text between "<" and ">": name and attributes split at spaces outside quotes, each name passed
// through legalKeyName and upper-cased, values without their quotes ("" for a bare attribute).
// An empty or nameless tag gives an empty dictionary. "/form" gives the tag name "FORM".
TagDictionary HTMLTagAttributes(std::string_view tagText);
// Every tag with a name, in document order.
std::vector<TagDictionary> HTMLTags(std::string_view page);
// The same tags grouped by tag name, each group in document order.
std::map<std::string, std::vector<TagDictionary>> CannonicalHTMLTags(std::string_view page);
// The texts between "<!--" and "-->".
std::vector<std::string> HTMLComments(std::string_view page);
// Comments of the form "key=value": legalKeyName of the key, the value trimmed; pairs with an empty
// key or value are left out, later ones win.
std::map<std::string, std::string> keyValuePairsFromHTMLComments(std::string_view page);

}  // namespace zavro::strings
