// User-visible texts looked up by key in named string tables ("Localizable", "Status", "Error", ...).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zavro {

// A table is the file Resources/<table>.strings of the installation, in the usual strings-file form:
//   /* comment */  // comment
//   "key" = "value";
// with the escapes \" \\ \n \t inside quotes. A missing or unreadable file is an empty table; a line
// that does not parse is skipped (the rest of the file still counts). Tables are read once per process
// (a new Environment reads them again) and may be used from any thread.
class StringTable {
 public:
  // The text for `key` in `table`, or `defaultText` when the table has no such key.
  static std::string localizedString(const std::string& key, const std::string& defaultText, const std::string& table);

  // Parses the text of a strings file.
  static std::map<std::string, std::string> parse(const std::string& text);

 private:
  struct Cache;
  static std::shared_ptr<Cache> cache();
};

// Shorthand for StringTable::localizedString.
inline std::string localizedString(const std::string& key, const std::string& defaultText, const std::string& table) {
  return StringTable::localizedString(key, defaultText, table);
}

}  // namespace zavro
