// Scrambled configuration files: detection, the XOR, whole-file reads and (atomic) scrambled writes.
#include "common/ZavroEncryptedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace zavro {
namespace {

constexpr size_t kDetectLength = 32;

void scramble(char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    data[i] = static_cast<char>(static_cast<uint8_t>(data[i]) ^ static_cast<uint8_t>(255 - (i & 0xFF)));
  }
}

std::optional<std::string> pathOfURL(const std::string& url) {
  static constexpr std::string_view kFileScheme = "file://";
  if (url.compare(0, kFileScheme.size(), kFileScheme) == 0) {
    return url.substr(kFileScheme.size());
  }
  if (url.find("://") == std::string::npos) {
    return url;
  }
  return std::nullopt;
}

std::optional<std::string> readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string out;
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    out.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool writeDirect(const std::string& bytes, const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  bool ok = writeAll(fd, bytes);
  return (::close(fd) == 0) && ok;
}

bool writeAtomically(const std::string& bytes, const std::string& path) {
  static std::atomic<unsigned> counter{0};
  std::string temporary;
  int fd = -1;
  // O_EXCL on a name of our own rather than mkstemp, so that the new file gets the umask's mode.
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      return false;
    }
  }
  if (fd < 0) {
    return false;
  }
  // Replacing a file keeps its permissions (configuration files may be deliberately restricted).
  struct stat existing;
  if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    (void)::fchmod(fd, existing.st_mode & 07777);
  }
  bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), path.c_str()) == 0) {
    return true;
  }
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace

bool zavroEncrypted(std::string_view bytes) {
  size_t n = bytes.size() < kDetectLength ? bytes.size() : kDetectLength;
  for (size_t i = 0; i < n; ++i) {
    if (static_cast<uint8_t>(bytes[i]) & 0x80) {
      return true;
    }
  }
  return false;
}

void zavroEncrypt(std::string* buffer) {
  scramble(buffer->data(), buffer->size());
}

void zavroDecrypt(std::string* buffer) {
  scramble(buffer->data(), buffer->size());
}

void zavroDecryptIfEncrypted(std::string* buffer) {
  if (zavroEncrypted(*buffer)) {
    zavroDecrypt(buffer);
  }
}

std::optional<std::string> dataWithContentsOfZavroFile(const std::string& path) {
  auto bytes = readWholeFile(path);
  if (bytes) {
    zavroDecryptIfEncrypted(&*bytes);
  }
  return bytes;
}

std::optional<std::string> dataWithContentsOfZavroURL(const std::string& url) {
  auto path = pathOfURL(url);
  if (!path) {
    return std::nullopt;
  }
  return dataWithContentsOfZavroFile(*path);
}

std::string dataWithZavroData(std::string_view bytes) {
  std::string copy(bytes);
  zavroDecryptIfEncrypted(&copy);
  return copy;
}

bool writeToZavroFile(std::string_view bytes, const std::string& path, bool atomically) {
  std::string scrambled(bytes);
  zavroEncrypt(&scrambled);
  return atomically ? writeAtomically(scrambled, path) : writeDirect(scrambled, path);
}

bool writeToZavroURL(std::string_view bytes, const std::string& url, bool atomically) {
  auto path = pathOfURL(url);
  return path && writeToZavroFile(bytes, *path, atomically);
}

}  // namespace zavro
