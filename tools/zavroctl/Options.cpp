// zavroctl's command table, option helpers and the installed plug-in codes.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "Command.h"

namespace zavro::ctl {

namespace {
std::vector<Command>& table() {
  static auto* commands = new std::vector<Command>;
  return *commands;
}
}  // namespace

void registerCommand(Command command) {
  table().push_back(std::move(command));
}

const std::vector<Command>& commands() {
  return table();
}

int usageError(std::ostream& err, const std::string& message) {
  err << "zavroctl: " << message << "\n";
  return kExitUsage;
}

std::optional<std::string> optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
                                       std::string& error) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 >= args.size()) {
      error = "option " + name + " needs a value";
      return std::nullopt;
    }
    i += 2;
    return args[i - 1];
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
    ++i;
    return arg.substr(name.size() + 1);
  }
  return std::nullopt;
}

std::optional<uint32_t> parseMask(const std::string& text) {
  if (text.empty()) {
    return std::nullopt;
  }
  int base = 10;
  size_t i = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) {
      return std::nullopt;
    }
  }
  return static_cast<uint32_t>(value);
}

// The codes of the plug-ins in `dir`: every "Authenticator<CODE>.so", sorted.
std::vector<std::string> installedPluginCodes(const std::string& dir) {
  std::vector<std::string> codes;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) {
    return codes;
  }
  static const std::string kPrefix = "Authenticator";
  static const std::string kSuffix = ".so";
  while (const dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() > kPrefix.size() + kSuffix.size() && name.compare(0, kPrefix.size(), kPrefix) == 0 &&
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0) {
      codes.push_back(name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size()));
    }
  }
  ::closedir(d);
  std::sort(codes.begin(), codes.end());
  return codes;
}

}  // namespace zavro::ctl
