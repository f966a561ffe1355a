// The desktop launcher over xdg-mime, gio and xdg-open, and the recording launcher of tests and the demo.
#include "platform/Launcher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "common/LogFile.h"
#include "runtime/Environment.h"
#include "runtime/Process.h"
#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string findInPath(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    return isExecutableFile(name) ? name : std::string();
  }
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && isExecutableFile(dir + "/" + name)) {
      return dir + "/" + name;
    }
  }
  return {};
}

// Runs a short helper to its end and returns its exit status. Only a query's output is captured: a launched
// application would inherit the pipe and keep it open for as long as it runs.
int runHelper(const std::string& program, const std::vector<std::string>& args, std::string* output = nullptr) {
  if (output == nullptr) {
    return Process::run(program, args);
  }
  return Process::runCapturing(program, args, "", *output);
}

// Starts an application and lets it run: a thread of its own reaps it when it ends.
bool startDetached(const std::string& program, const std::vector<std::string>& args) {
  auto process = Process::start(program, args);
  if (!process) {
    return false;
  }
  std::thread([child = std::move(process)]() mutable { child->wait(); }).detach();
  return true;
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

std::shared_ptr<Launcher> Launcher::systemLauncher() {
  static ProcessWide<Launcher> shared([]() -> std::shared_ptr<Launcher> {
    const char* platform = std::getenv("ZAVRO_PLATFORM");
    if (platform != nullptr && std::string(platform) == "sim") {
      return SimulatedLauncher::withBrowser();
    }
    return std::make_shared<DesktopLauncher>();
  });
  return shared.get();
}

DesktopLauncher::DesktopLauncher(std::vector<std::string> dataDirs) : mDataDirs(std::move(dataDirs)) {
  if (mDataDirs.empty()) {
    mDataDirs.push_back(Environment::current()->dataHome());
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::stringstream list(dirs != nullptr && *dirs != '\0' ? dirs : "/usr/local/share:/usr/share");
    std::string dir;
    while (std::getline(list, dir, ':')) {
      if (!dir.empty()) {
        mDataDirs.push_back(dir);
      }
    }
  }
}

std::string DesktopLauncher::desktopEntryPath(const std::string& name) const {
  if (name.empty() || name.find('/') != std::string::npos) {
    return {};
  }
  const std::string entry =
      name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0 ? name : name + ".desktop";
  for (const auto& dir : mDataDirs) {
    const std::string path = dir + "/applications/" + entry;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      return path;
    }
  }
  return {};
}

bool DesktopLauncher::launchDesktopEntry(const std::string& path) {
  // gio launch starts the entry and returns; its status tells whether that worked.
  if (std::string gio = findInPath("gio"); !gio.empty()) {
    return runHelper(gio, {"launch", path}) == 0;
  }
  if (std::string gtk = findInPath("gtk-launch"); !gtk.empty()) {
    std::string id = path.substr(path.find_last_of('/') + 1);
    return runHelper(gtk, {id}) == 0;
  }
  ConnectionLog::connectionLog()->stdLog("Neither gio nor gtk-launch is installed; cannot start " + path);
  return false;
}

bool DesktopLauncher::openDefaultApplicationForExtension(const std::string& extension) {
  std::string mime = extension == "html" || extension == "htm" ? "text/html" : std::string();
  std::string xdgMime = findInPath("xdg-mime");
  if (xdgMime.empty()) {
    return false;
  }
  if (mime.empty()) {
    // Ask for the type of a file with that extension.
    std::string type;
    if (runHelper(xdgMime, {"query", "filetype", "x." + extension}, &type) != 0) {
      return false;
    }
    mime = trimmed(type);
  }
  std::string entry;
  if (runHelper(xdgMime, {"query", "default", mime}, &entry) != 0) {
    return false;
  }
  entry = trimmed(entry);
  std::string path = desktopEntryPath(entry);
  return !path.empty() && launchDesktopEntry(path);
}

bool DesktopLauncher::launchApplication(const std::string& name) {
  if (std::string path = desktopEntryPath(name); !path.empty()) {
    return launchDesktopEntry(path);
  }
  std::string program = findInPath(name);
  return !program.empty() && startDetached(program, {});
}

bool DesktopLauncher::openURL(const std::string& url) {
  if (std::string gio = findInPath("gio"); !gio.empty()) {
    return runHelper(gio, {"open", url}) == 0;
  }
  if (std::string xdgOpen = findInPath("xdg-open"); !xdgOpen.empty()) {
    return runHelper(xdgOpen, {url}) == 0;
  }
  return false;
}

std::shared_ptr<SimulatedLauncher> SimulatedLauncher::withBrowser() {
  auto launcher = std::make_shared<SimulatedLauncher>();
  launcher->setDefaultApplication("html", "browser");
  return launcher;
}

bool SimulatedLauncher::openDefaultApplicationForExtension(const std::string& extension) {
  std::lock_guard lock(mMutex);
  mCalls.push_back("open-default " + extension);
  for (const auto& [ext, app] : mDefaults) {
    if (ext == extension) {
      return mUnavailable.count(app) == 0;
    }
  }
  return false;
}

bool SimulatedLauncher::launchApplication(const std::string& name) {
  std::lock_guard lock(mMutex);
  mCalls.push_back("launch " + name);
  return !name.empty() && mUnavailable.count(name) == 0;
}

bool SimulatedLauncher::openURL(const std::string& url) {
  std::lock_guard lock(mMutex);
  mCalls.push_back("open " + url);
  return !url.empty();
}

void SimulatedLauncher::setDefaultApplication(const std::string& extension, const std::string& application) {
  std::lock_guard lock(mMutex);
  for (auto& entry : mDefaults) {
    if (entry.first == extension) {
      entry.second = application;
      return;
    }
  }
  mDefaults.emplace_back(extension, application);
}

void SimulatedLauncher::removeDefaultApplication(const std::string& extension) {
  std::lock_guard lock(mMutex);
  std::erase_if(mDefaults, [&](const auto& entry) { return entry.first == extension; });
}

void SimulatedLauncher::setUnavailable(const std::string& name) {
  std::lock_guard lock(mMutex);
  mUnavailable.insert(name);
}

std::vector<std::string> SimulatedLauncher::calls() const {
  std::lock_guard lock(mMutex);
  return mCalls;
}

void SimulatedLauncher::forgetCalls() {
  std::lock_guard lock(mMutex);
  mCalls.clear();
}

}  // namespace zavro
