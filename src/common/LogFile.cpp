// LogFile, its cut, the process-wide logs and the two folder providers.
#include "common/LogFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <vector>

#include "runtime/Environment.h"
#include "runtime/ProcessWide.h"

namespace zavro {

LogFile::LogFile() = default;

LogFile::LogFile(const std::string& path) { openFile(path); }

LogFile::~LogFile() { close(); }

bool LogFile::openFile(const std::string& path) {
  std::lock_guard lock(mLock);
  if (mFile != nullptr) {
    std::fclose(mFile);
    mFile = nullptr;
  }
  mPath = path;
  mFile = std::fopen(path.c_str(), "ae");
  if (mFile != nullptr) {
    std::setvbuf(mFile, nullptr, _IOLBF, BUFSIZ);
  }
  return mFile != nullptr;
}

void LogFile::close() {
  std::lock_guard lock(mLock);
  if (mFile != nullptr) {
    std::fclose(mFile);
    mFile = nullptr;
    mPath.clear();
  }
}

bool LogFile::isOpen() const {
  std::lock_guard lock(mLock);
  return mFile != nullptr;
}

std::optional<std::string> LogFile::path() const {
  std::lock_guard lock(mLock);
  if (mPath.empty()) {
    return std::nullopt;
  }
  return mPath;
}

std::optional<std::string> LogFile::getLogContents() const {
  std::lock_guard lock(mLock);
  if (mPath.empty()) {
    return std::nullopt;
  }
  FILE* in = std::fopen(mPath.c_str(), "rbe");
  if (in == nullptr) {
    return std::nullopt;
  }
  std::string out;
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    out.append(buffer, n);
  }
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) {
    return std::nullopt;
  }
  return out;
}

void LogFile::log(const std::string& message) {
  std::lock_guard lock(mLock);
  if (mFile == nullptr) {
    return;
  }
  std::fwrite(message.data(), 1, message.size(), mFile);
  std::fputc('\n', mFile);
  std::fflush(mFile);
  long position = std::ftell(mFile);
  if (position > mHighWaterMark) {
    reduceToLowWaterMark();
  }
}

void LogFile::logFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  logFormatArguments(format, args);
  va_end(args);
}

void LogFile::logFormatArguments(const char* format, va_list args) { log(stringWithFormatArguments(format, args)); }

void LogFile::stdLog(const std::string& message) { log("[" + currentTimestamp() + "] " + message); }

void LogFile::stdLogFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  stdLogFormatArguments(format, args);
  va_end(args);
}

void LogFile::stdLogFormatArguments(const char* format, va_list args) {
  stdLog(stringWithFormatArguments(format, args));
}

std::string LogFile::currentTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

void LogFile::reduceToLowWaterMark() {
  struct stat st {};
  if (mFile == nullptr || ::fstat(::fileno(mFile), &st) != 0 || st.st_size < mHighWaterMark) {
    return;
  }
  const long size = static_cast<long>(st.st_size);
  std::fclose(mFile);
  mFile = nullptr;

  const std::string setAside = mPath + ".tmp";
  bool renamed = std::rename(mPath.c_str(), setAside.c_str()) == 0;
  mFile = std::fopen(mPath.c_str(), "ae");
  FILE* old = renamed ? std::fopen(setAside.c_str(), "rbe") : nullptr;
  if (old != nullptr) {
    const long cut = size - mLowWaterMark;
    bool cutFound = false;
    char piece[512];
    while (std::fgets(piece, sizeof piece, old) != nullptr) {
      if (!cutFound) {
        if (std::ftell(old) >= cut) {
          cutFound = true;  // this piece straddles the cut (or ends at it): dropped
        }
        continue;
      }
      if (mFile != nullptr) {
        // fgets pieces are NUL-terminated; the log is text, so the length is the string's.
        std::fputs(piece, mFile);
      }
    }
    std::fclose(old);
  }
  if (mFile != nullptr) {
    std::setvbuf(mFile, nullptr, _IOLBF, BUFSIZ);
    std::fflush(mFile);
  }
  if (renamed) {
    std::remove(setAside.c_str());
  }
}

std::string stringWithFormatArguments(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) {
    return {};
  }
  if (static_cast<size_t>(n) < sizeof small) {
    return std::string(small, static_cast<size_t>(n));
  }
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string stringWithFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = stringWithFormatArguments(format, args);
  va_end(args);
  return out;
}

namespace {

std::shared_ptr<LogFile> openSupportLog(const char* name) {
  auto dir = ZavroApplicationSupportDirectory::productSupportDirectory();
  if (!dir) {
    return std::make_shared<LogFile>();  // every write a no-op
  }
  return std::make_shared<LogFile>(*dir + "/" + name);
}

// Creates a folder at `path` only when nothing (file, folder or link) stands there.
void createFolderIfAbsent(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) {
    ::mkdir(path.c_str(), 0755);
  }
}

}  // namespace

std::shared_ptr<LogFile> UpdateLog::updateLog() {
  static ProcessWide<LogFile> log([] { return openSupportLog("update.log"); });
  return log.get();
}

std::shared_ptr<LogFile> ConnectionLog::connectionLog() {
  static ProcessWide<LogFile> log([] { return openSupportLog("connection.log"); });
  return log.get();
}

std::shared_ptr<LogFile> ThruputLog::thruputLog() {
  static ProcessWide<LogFile> log([] { return openSupportLog("thruput.log"); });
  return log.get();
}

std::optional<std::string> ZavroApplicationSupportDirectory::productSupportDirectory() {
  auto env = Environment::current();
  const std::string& appSupport = env->dataHome();
  if (appSupport.empty()) {
    return std::nullopt;
  }
  std::error_code ec;
  std::filesystem::create_directories(appSupport, ec);
  if (!std::filesystem::is_directory(appSupport, ec)) {
    return std::nullopt;
  }
  std::string company = appSupport + "/" + companyName();
  createFolderIfAbsent(company);
  std::string product = company + "/" + productName();
  createFolderIfAbsent(product);
  return product;
}

std::string ZavroConfiguration::configPath() { return Environment::current()->configDir(); }

std::string ZavroConfiguration::pathToConfigFile(const std::string& name) { return configPath() + "/" + name; }

}  // namespace zavro
