// Whole-file writes that a reader or a crash never sees half done, and the folders above them.
#include "runtime/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zavro {

namespace {
std::string errnoText() {
  return std::strerror(errno);
}
}  // namespace

bool createParentFolders(const std::string& path, std::string* error) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) {
    return true;
  }
  std::filesystem::path partial;
  for (const auto& part : parent) {
    partial /= part;
    if (partial == partial.root_path()) {
      continue;
    }
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      if (error != nullptr) {
        *error = "cannot create " + partial.string() + ": " + errnoText();
      }
      return false;
    }
  }
  return true;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) {
      *error = what + ": " + errnoText();
    }
    return false;
  };
  if (!createParentFolders(path, error)) {
    return false;
  }
  std::string tmp = path + ".XXXXXX";
  int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    return fail("cannot create a temporary file beside " + path);
  }
  auto abandon = [&](const std::string& what) {
    int saved = errno;
    ::close(fd);
    ::unlink(tmp.c_str());
    errno = saved;
    return fail(what);
  };
  if (::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    return abandon("cannot set the mode of " + tmp);
  }
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return abandon("cannot write " + tmp);
    }
    written += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    return abandon("cannot flush " + tmp);
  }
  if (::close(fd) != 0) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot close " + tmp);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot rename " + tmp + " to " + path);
  }
  // The rename is durable only once the folder itself is flushed; failing here changes nothing visible.
  std::string folder = std::filesystem::path(path).parent_path().string();
  int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace zavro
