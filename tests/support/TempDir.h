// A temporary folder removed with everything in it when the object goes, plus small file helpers.
#pragma once

#include <string>

namespace zavro::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return mPath; }
  // path() + "/" + name
  std::string file(const std::string& name) const { return mPath + "/" + name; }
  // Creates the folder `name` (and its parents) inside, returns its path.
  std::string mkdir(const std::string& name) const;
  // Writes `bytes` to `name` inside (folders created), returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::string mPath;
};

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

}  // namespace zavro::test
