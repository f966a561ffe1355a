// TestEnvironment.
#include "support/TestEnvironment.h"

#include <filesystem>

namespace zavro::test {

TestEnvironment::TestEnvironment() : mEnv(Environment::fromProcess()) {
  mEnv.setInstallDir(mRoot.mkdir("install"))
      .setDataHome(mRoot.mkdir("data"))
      .setConfigHome(mRoot.mkdir("config"))
      .setHomeDir(mRoot.mkdir("home"))
      .setTempDir(mRoot.mkdir("tmp"));
  mRoot.mkdir("install/Configuration");
  apply();
}

TestEnvironment::~TestEnvironment() { Environment::install(Environment::fromProcess()); }

void TestEnvironment::apply() { Environment::install(mEnv); }

std::string TestEnvironment::writeConfig(const std::string& name, const std::string& bytes) const {
  std::string path = configDir() + "/" + name;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeFile(path, bytes);
  return path;
}

std::vector<std::string> TestEnvironment::childEnvironment() const {
  return {"XDG_DATA_HOME=" + mEnv.dataHome(), "XDG_CONFIG_HOME=" + mEnv.configHome(), "HOME=" + mEnv.homeDir(),
          "TMPDIR=" + mEnv.tempDir()};
}

void TestEnvironment::useDemoConfiguration() const {
  std::filesystem::copy(std::string(ZAVRO_SOURCE_DIR) + "/data/demo", configDir(),
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

}  // namespace zavro::test
