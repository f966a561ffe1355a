// The roots every path of the system is built from: installation, configuration, per-user and temporary folders.
#pragma once

#include <memory>
#include <string>

namespace zavro {

// One process-wide Environment answers every "where is ..." question. Tools and tests build their own
// (from the process, then with roots overridden) and install it; installing one also resets every
// process-wide object so that logs, preferences and tables are made afresh from the new roots.
class Environment {
 public:
  // The roots of the running process: installation directory from /proc/self/exe, XDG folders and
  // TMPDIR from the process environment.
  static Environment fromProcess();

  // The installed environment; fromProcess() until something else is installed.
  static std::shared_ptr<const Environment> current();
  static void install(Environment env);

  // Parent of the folder that holds the running executable (bin/ or SharedSupport/).
  const std::string& installDir() const { return mInstallDir; }
  // Configuration/ inside the installation directory unless overridden.
  std::string configDir() const;
  std::string pluginDir() const { return mInstallDir + "/PlugIns"; }
  std::string resourcesDir() const { return mInstallDir + "/Resources"; }
  std::string sharedSupportDir() const { return mInstallDir + "/SharedSupport"; }
  std::string binDir() const { return mInstallDir + "/bin"; }

  // The user's application-support folder ($XDG_DATA_HOME, else ~/.local/share); the product support
  // folder is Zavro/ZavroConnect inside it.
  const std::string& dataHome() const { return mDataHome; }
  // $XDG_CONFIG_HOME, else ~/.config.
  const std::string& configHome() const { return mConfigHome; }
  const std::string& homeDir() const { return mHomeDir; }
  // $TMPDIR, else /tmp.
  const std::string& tempDir() const { return mTempDir; }

  std::string supportDir() const { return mDataHome + "/Zavro/ZavroConnect"; }
  std::string lockDir() const { return mTempDir + "/Zavro/ZavroConnect"; }
  std::string preferencesFile() const { return mConfigHome + "/ZavroConnect/com.zavro.ZavroConnect.plist"; }

  Environment& setInstallDir(std::string dir);
  Environment& setConfigDir(std::string dir);
  Environment& setDataHome(std::string dir);
  Environment& setConfigHome(std::string dir);
  Environment& setHomeDir(std::string dir);
  Environment& setTempDir(std::string dir);

 private:
  std::string mInstallDir;
  std::string mConfigDir;  // empty: installDir/Configuration
  std::string mDataHome;
  std::string mConfigHome;
  std::string mHomeDir;
  std::string mTempDir;
};

// Directory of the running executable and the installation directory derived from it.
std::string executablePath();

}  // namespace zavro
