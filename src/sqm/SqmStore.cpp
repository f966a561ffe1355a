// The SQM store file: read and atomic write through the property-list layer.
#include "sqm/SqmStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "runtime/AtomicFile.h"
#include "runtime/PropertyList.h"

namespace zavro {

bool readSqmStore(const std::string& path, std::map<std::string, std::string>& fields) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto plist = PropertyList::fromXML(xml);
  if (!plist || !plist->isDictionary()) {
    return false;
  }
  fields.clear();
  for (const auto& [key, value] : *plist->dictionary()) {
    if (const std::string* text = value.string()) {
      fields[key] = *text;
    }
  }
  return true;
}

bool writeSqmStore(const std::string& path, const std::map<std::string, std::string>& fields) {
  PropertyList::Dictionary dict;
  for (const auto& [key, value] : fields) {
    dict.emplace(key, PropertyList(value));
  }
  auto xml = PropertyList(std::move(dict)).toXML();
  if (!xml) {
    return false;
  }
  return writeFileAtomically(path, *xml, 0644);
}

}  // namespace zavro
