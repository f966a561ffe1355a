// TempDir and the file helpers.
#include "support/TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zavro::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/zavro-test-XXXXXX";
  if (::mkdtemp(templ.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed for " + templ);
  }
  mPath = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind: give write permission back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(mPath, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::remove_all(mPath, ec);
}

std::string TempDir::mkdir(const std::string& name) const {
  std::string p = file(name);
  std::filesystem::create_directories(p);
  return p;
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
  std::string p = file(name);
  std::filesystem::create_directories(std::filesystem::path(p).parent_path());
  writeFile(p, bytes);
  return p;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace zavro::test
