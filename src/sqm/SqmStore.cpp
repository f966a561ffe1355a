// The SQM store file: read and atomic write through the property-list layer.
#include "sqm/SqmStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

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
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    return false;
  }
  ::fchmod(fd, 0644);
  size_t done = 0;
  bool ok = true;
  while (done < xml->size()) {
    ssize_t n = ::write(fd, xml->data() + done, xml->size() - done);
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace zavro
