// Append-only text logs with a size cap, the three process-wide logs, and the support/config folders.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zavro {

// A log that is cut back to its newest whole lines (at most mLowWaterMark bytes) whenever a write
// takes it past mHighWaterMark. Every operation takes the log's own mutex, so lines from several
// threads never interleave and the cut happens inside the writer's lock. A log that cannot be opened
// drops every message silently.
class LogFile {
 public:
  LogFile();
  explicit LogFile(const std::string& path);  // initWithFile: the object exists even if the open failed
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  bool openFile(const std::string& path);
  void close();
  bool isOpen() const;
  std::optional<std::string> path() const;
  // The whole file at the kept path; nullopt with no path or an unreadable file.
  std::optional<std::string> getLogContents() const;

  // The text and one newline.
  void log(const std::string& message);
  void logFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void logFormatArguments(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
  // "[YYYY-MM-DD HH:MM:SS] message".
  void stdLog(const std::string& message);
  void stdLogFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void stdLogFormatArguments(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

  // Local time as "%Y-%m-%d %H:%M:%S".
  static std::string currentTimestamp();

  int lowWaterMark() const { return mLowWaterMark; }
  int highWaterMark() const { return mHighWaterMark; }

 private:
  void reduceToLowWaterMark();  // with mLock held

  int mLowWaterMark = 20480;
  int mHighWaterMark = 30720;
  std::string mPath;  // empty while closed
  FILE* mFile = nullptr;
  mutable std::mutex mLock;
};

// Formats printf-style into a std::string.
std::string stringWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string stringWithFormatArguments(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// "update.log": plain lines written by the update machinery.
struct UpdateLog {
  static std::shared_ptr<LogFile> updateLog();
};
// "connection.log": standard lines written by the connect controller and the dial-up connection.
struct ConnectionLog {
  static std::shared_ptr<LogFile> connectionLog();
};
// "thruput.log": plain lines; read back whole as the dial history.
struct ThruputLog {
  static std::shared_ptr<LogFile> thruputLog();
};

struct ZavroApplicationSupportDirectory {
  static std::string companyName() { return "Zavro"; }
  static std::string productName() { return "ZavroConnect"; }
  // The user's application-support folder + "Zavro" + "ZavroConnect", each created when nothing
  // stands at its path; nullopt when the application-support folder itself cannot be had.
  static std::optional<std::string> productSupportDirectory();
};

struct ZavroConfiguration {
  // The configuration folder inside the installation directory; not checked for existence.
  static std::string configPath();
  static std::string pathToConfigFile(const std::string& name);
};

}  // namespace zavro
