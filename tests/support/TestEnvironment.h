// Installs an Environment whose every root lies in a fresh temporary folder, for one test.
#pragma once

#include <string>
#include <vector>

#include "runtime/Environment.h"
#include "support/TempDir.h"

namespace zavro::test {

// Layout inside root(): install/ (with install/Configuration), data/, config/, home/, tmp/.
// Construction installs it (resetting every process-wide object); destruction installs the
// process's own environment again.
class TestEnvironment {
 public:
  TestEnvironment();
  ~TestEnvironment();
  TestEnvironment(const TestEnvironment&) = delete;
  TestEnvironment& operator=(const TestEnvironment&) = delete;

  const TempDir& root() const { return mRoot; }
  Environment& env() { return mEnv; }
  // Re-installs after changes made through env().
  void apply();

  std::string configDir() const { return mEnv.configDir(); }
  std::string supportDir() const { return mEnv.supportDir(); }
  // Writes a file into the configuration folder and returns its path.
  std::string writeConfig(const std::string& name, const std::string& bytes) const;
  // NAME=value entries that make a child process (a tool under test) use the same roots:
  // XDG_DATA_HOME, XDG_CONFIG_HOME, HOME and TMPDIR. Pass them as ProcessOptions::extraEnvironment.
  std::vector<std::string> childEnvironment() const;
  // Copies data/demo (the shipped demo configuration) into the configuration folder.
  void useDemoConfiguration() const;

 private:
  TempDir mRoot;
  Environment mEnv;
};

}  // namespace zavro::test
