// Opening the default web browser, applications by name and help pages.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace zavro {

class Launcher {
 public:
  virtual ~Launcher() = default;

  // Finds the application the desktop opens files with `extension` in ("html": the default web browser) and
  // starts it without a document. False when there is none or it cannot be started.
  virtual bool openDefaultApplicationForExtension(const std::string& extension) = 0;
  // Starts the application called `name`: a desktop entry ("firefox.desktop", also without the suffix), a
  // program in PATH, or a path. False when no such application exists or it cannot be started.
  virtual bool launchApplication(const std::string& name) = 0;
  // Opens a URL or file in the application the desktop chooses for it.
  virtual bool openURL(const std::string& url) = 0;

  // The desktop's launcher (gio, else xdg-open), or a SimulatedLauncher when ZAVRO_PLATFORM=sim. Made on
  // first use; a new Environment makes it afresh.
  static std::shared_ptr<Launcher> systemLauncher();
};

// The desktop backend: the MIME default from `xdg-mime query default`, desktop entries found in the XDG data
// folders and started with `gio launch` (or `gtk-launch`), URLs with `gio open` or `xdg-open`. Programs are
// started without a shell; the started application is not waited for.
class DesktopLauncher final : public Launcher {
 public:
  // `dataDirs`: the folders searched for applications/<entry>.desktop; empty: $XDG_DATA_HOME and
  // $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
  explicit DesktopLauncher(std::vector<std::string> dataDirs = {});

  bool openDefaultApplicationForExtension(const std::string& extension) override;
  bool launchApplication(const std::string& name) override;
  bool openURL(const std::string& url) override;

  // The path of the desktop entry `name` (".desktop" added when missing); "" when none is found.
  std::string desktopEntryPath(const std::string& name) const;

 private:
  bool launchDesktopEntry(const std::string& path);
  std::vector<std::string> mDataDirs;
};

// Records every call; answers from what the test set up. Thread-safe.
class SimulatedLauncher final : public Launcher {
 public:
  bool openDefaultApplicationForExtension(const std::string& extension) override;
  bool launchApplication(const std::string& name) override;
  bool openURL(const std::string& url) override;

  // Extensions that have a default application (none at first: "html" is added by default()).
  void setDefaultApplication(const std::string& extension, const std::string& application);
  void removeDefaultApplication(const std::string& extension);
  // Names that fail to launch.
  void setUnavailable(const std::string& name);

  // "open-default html", "launch NAME", "open URL", in call order. Calls that failed are recorded too.
  std::vector<std::string> calls() const;
  void forgetCalls();

  // A launcher with a default browser for "html".
  static std::shared_ptr<SimulatedLauncher> withBrowser();

 private:
  mutable std::mutex mMutex;
  std::vector<std::string> mCalls;
  std::vector<std::pair<std::string, std::string>> mDefaults;
  std::set<std::string> mUnavailable;
};

}  // namespace zavro
