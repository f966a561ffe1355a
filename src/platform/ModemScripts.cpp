// Modem script folders and their listing.
#include "platform/ModemScripts.h"

#include <algorithm>
#include <filesystem>

#include "platform/SystemRoot.h"
#include "runtime/Environment.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace fs = std::filesystem;

namespace {

ProcessWide<const ModemScripts> gShared([] {
  return std::make_shared<const ModemScripts>(
      ModemScripts::forEnvironment(*Environment::current(), systemFixtureRoot()));
});

void listFolder(const std::string& folder, std::vector<ModemScriptFile>& out) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') {
      continue;
    }
    std::error_code statError;
    if (fs::is_regular_file(it->path(), statError)) {  // follows links
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  for (auto& name : names) {
    out.push_back({name, folder + "/" + name});
  }
}

}  // namespace

ModemScripts::ModemScripts(std::vector<std::string> folders, std::string fallback)
    : mFolders(std::move(folders)), mFallback(std::move(fallback)) {}

ModemScripts ModemScripts::forEnvironment(const Environment& env, const std::string& root) {
  return ModemScripts(
      {env.dataHome() + "/ZavroConnect/Modem Scripts", root + "/usr/local/share/ZavroConnect/Modem Scripts",
       root + "/usr/share/ZavroConnect/Modem Scripts", root + "/etc/chatscripts"},
      env.resourcesDir() + "/Modem Scripts");
}

std::shared_ptr<const ModemScripts> ModemScripts::shared() {
  return gShared.get();
}

std::vector<ModemScriptFile> ModemScripts::files() const {
  std::vector<ModemScriptFile> out;
  bool anyFolder = false;
  std::error_code ec;
  for (const auto& folder : mFolders) {
    if (fs::is_directory(folder, ec)) {
      anyFolder = true;
      listFolder(folder, out);
    }
  }
  if (!anyFolder && !mFallback.empty()) {
    listFolder(mFallback, out);
  }
  return out;
}

}  // namespace zavro
