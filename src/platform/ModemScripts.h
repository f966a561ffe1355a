// The folders that hold modem (chat) scripts and the script files found in them.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zavro {

class Environment;

struct ModemScriptFile {
  std::string name;  // the file name, which is what the user picks
  std::string path;  // folder + "/" + name
};

class ModemScripts {
 public:
  // `folders` in domain order (user first); `fallback` is read only when none of them exists.
  explicit ModemScripts(std::vector<std::string> folders, std::string fallback = {});

  // The user's, the local, the system's and the ppp package's folders:
  //   <dataHome>/ZavroConnect/Modem Scripts, <root>/usr/local/share/ZavroConnect/Modem Scripts,
  //   <root>/usr/share/ZavroConnect/Modem Scripts, <root>/etc/chatscripts
  // with `root` "" on a live system; the fallback is the application's Resources/Modem Scripts.
  static ModemScripts forEnvironment(const Environment& env, const std::string& root);
  // forEnvironment() of the installed Environment and systemFixtureRoot(); made again after a new
  // Environment is installed.
  static std::shared_ptr<const ModemScripts> shared();

  const std::vector<std::string>& folders() const { return mFolders; }
  const std::string& fallback() const { return mFallback; }

  // The visible plain files (symbolic links to files count; folders and names beginning with "." do
  // not) of every existing folder, folder by folder in domain order, each folder's names sorted by
  // bytes. Folders that are missing or unreadable add nothing.
  std::vector<ModemScriptFile> files() const;

 private:
  std::vector<std::string> mFolders;
  std::string mFallback;
};

}  // namespace zavro
