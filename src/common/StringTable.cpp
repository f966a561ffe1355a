// String tables read from the installation's Resources folder on first use.
#include "common/StringTable.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "runtime/Environment.h"
#include "runtime/ProcessWide.h"

namespace zavro {

struct StringTable::Cache {
  std::mutex mutex;
  std::map<std::string, std::map<std::string, std::string>> tables;
};

std::shared_ptr<StringTable::Cache> StringTable::cache() {
  static ProcessWide<Cache> shared([] { return std::make_shared<Cache>(); });
  return shared.get();
}

namespace {

void skipSpaceAndComments(const std::string& text, size_t& i) {
  while (i < text.size()) {
    if (std::isspace(static_cast<unsigned char>(text[i]))) {
      ++i;
    } else if (text.compare(i, 2, "/*") == 0) {
      size_t end = text.find("*/", i + 2);
      i = end == std::string::npos ? text.size() : end + 2;
    } else if (text.compare(i, 2, "//") == 0) {
      size_t end = text.find('\n', i);
      i = end == std::string::npos ? text.size() : end + 1;
    } else {
      return;
    }
  }
}

std::optional<std::string> quoted(const std::string& text, size_t& i) {
  if (i >= text.size() || text[i] != '"') {
    return std::nullopt;
  }
  std::string out;
  for (++i; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      ++i;
      return out;
    }
    if (c == '\\' && i + 1 < text.size()) {
      char next = text[++i];
      out += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    } else {
      out += c;
    }
  }
  return std::nullopt;  // unterminated
}

}  // namespace

std::map<std::string, std::string> StringTable::parse(const std::string& text) {
  std::map<std::string, std::string> table;
  size_t i = 0;
  while (true) {
    skipSpaceAndComments(text, i);
    if (i >= text.size()) {
      break;
    }
    size_t start = i;
    auto key = quoted(text, i);
    skipSpaceAndComments(text, i);
    bool ok = key && i < text.size() && text[i] == '=';
    std::optional<std::string> value;
    if (ok) {
      ++i;
      skipSpaceAndComments(text, i);
      value = quoted(text, i);
      skipSpaceAndComments(text, i);
      ok = value && i < text.size() && text[i] == ';';
    }
    if (ok) {
      ++i;
      table[*key] = *value;
      continue;
    }
    // Skip the broken entry up to the end of its line and go on with the next one.
    size_t end = text.find('\n', std::max(start + 1, i));
    i = end == std::string::npos ? text.size() : end + 1;
  }
  return table;
}

std::string StringTable::localizedString(const std::string& key, const std::string& defaultText,
                                         const std::string& table) {
  auto shared = cache();
  std::lock_guard lock(shared->mutex);
  auto it = shared->tables.find(table);
  if (it == shared->tables.end()) {
    std::ifstream in(Environment::current()->resourcesDir() + "/" + table + ".strings", std::ios::binary);
    std::map<std::string, std::string> entries;
    if (in) {
      std::ostringstream text;
      text << in.rdbuf();
      entries = parse(text.str());
    }
    it = shared->tables.emplace(table, std::move(entries)).first;
  }
  auto found = it->second.find(key);
  return found == it->second.end() ? defaultText : found->second;
}

}  // namespace zavro
