// Environment: the process's roots and the process-wide installed copy.
#include "runtime/Environment.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

std::string parentOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return ".";
  }
  if (slash == 0) {
    return "/";
  }
  return path.substr(0, slash);
}

std::string homeFromPasswd() {
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

std::mutex gEnvMutex;
std::shared_ptr<const Environment> gEnvironment;

}  // namespace

std::string executablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) {
    return {};
  }
  buffer[n] = '\0';
  return buffer;
}

Environment Environment::fromProcess() {
  Environment env;
  std::string exe = executablePath();
  env.mInstallDir = exe.empty() ? std::string(".") : parentOf(parentOf(exe));
  env.mHomeDir = envOr("HOME", homeFromPasswd());
  env.mDataHome = envOr("XDG_DATA_HOME", env.mHomeDir + "/.local/share");
  env.mConfigHome = envOr("XDG_CONFIG_HOME", env.mHomeDir + "/.config");
  env.mTempDir = envOr("TMPDIR", "/tmp");
  while (env.mTempDir.size() > 1 && env.mTempDir.back() == '/') {
    env.mTempDir.pop_back();
  }
  return env;
}

std::shared_ptr<const Environment> Environment::current() {
  std::lock_guard lock(gEnvMutex);
  if (!gEnvironment) {
    gEnvironment = std::make_shared<const Environment>(fromProcess());
  }
  return gEnvironment;
}

void Environment::install(Environment env) {
  {
    std::lock_guard lock(gEnvMutex);
    gEnvironment = std::make_shared<const Environment>(std::move(env));
  }
  resetProcessWideObjects();
}

std::string Environment::configDir() const {
  return mConfigDir.empty() ? mInstallDir + "/Configuration" : mConfigDir;
}

Environment& Environment::setInstallDir(std::string dir) {
  mInstallDir = std::move(dir);
  return *this;
}
Environment& Environment::setConfigDir(std::string dir) {
  mConfigDir = std::move(dir);
  return *this;
}
Environment& Environment::setDataHome(std::string dir) {
  mDataHome = std::move(dir);
  return *this;
}
Environment& Environment::setConfigHome(std::string dir) {
  mConfigHome = std::move(dir);
  return *this;
}
Environment& Environment::setHomeDir(std::string dir) {
  mHomeDir = std::move(dir);
  return *this;
}
Environment& Environment::setTempDir(std::string dir) {
  mTempDir = std::move(dir);
  return *this;
}

}  // namespace zavro
