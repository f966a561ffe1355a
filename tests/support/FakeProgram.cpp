// FakeProgram: the generated script and the readers of what it recorded.
#include "support/FakeProgram.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

namespace zavro::test {

namespace {

std::string shellQuote(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return out + "'";
}

}  // namespace

FakeProgram::FakeProgram(std::string folder, std::string name)
    : mFolder(std::move(folder)), mName(std::move(name)), mBinDir(mFolder + "/bin") {
  std::filesystem::create_directories(mBinDir);
  std::filesystem::create_directories(mFolder + "/calls");
  std::filesystem::create_directories(mFolder + "/rules");
  writeScript();
}

void FakeProgram::writeScript() const {
  std::string dir = shellQuote(mFolder);
  std::string script = "#!/bin/sh\n";
  script += "dir=" + dir + "\n";
  script += "n=$(cat \"$dir/count\" 2>/dev/null || echo 0)\nn=$((n + 1))\necho \"$n\" > \"$dir/count\"\n";
  script += "call=\"$dir/calls/$n\"\n: > \"$call\"\n";
  script += "for a in \"$@\"; do printf '%s\\000' \"$a\" >> \"$call\"; done\n";
  if (!mCaptureOption.empty()) {
    script += "prev=\nfor a in \"$@\"; do\n  if [ \"$prev\" = " + shellQuote(mCaptureOption) +
              " ]; then cp \"$a\" \"$call.file\" 2>/dev/null; fi\n  prev=$a\ndone\n";
  }
  script += "args=\"$*\"\n";
  script += "for r in $(ls \"$dir/rules\" | sort); do\n";
  script += "  pattern=$(cat \"$dir/rules/$r/pattern\")\n";
  script += "  case \"$args\" in\n    $pattern)\n";
  script += "      if [ -f \"$dir/rules/$r/times\" ]; then\n";
  script += "        left=$(cat \"$dir/rules/$r/times\")\n";
  script += "        [ \"$left\" -gt 0 ] || continue\n";
  script += "        echo $((left - 1)) > \"$dir/rules/$r/times\"\n      fi\n";
  script += "      cat \"$dir/rules/$r/out\"\n      cat \"$dir/rules/$r/err\" >&2\n";
  script += "      exit \"$(cat \"$dir/rules/$r/status\")\";;\n  esac\ndone\n";
  script += "cat \"$dir/fallback-err\" >&2 2>/dev/null\n";
  script += "exit \"$(cat \"$dir/fallback-status\" 2>/dev/null || echo 0)\"\n";
  writeFile(path(), script);
  ::chmod(path().c_str(), 0755);
}

FakeProgram& FakeProgram::on(const std::string& pattern, const std::string& out, int status, const std::string& err) {
  char name[16];
  std::snprintf(name, sizeof name, "%06d", mRules++);
  std::string rule = mFolder + "/rules/" + name;
  std::filesystem::create_directories(rule);
  writeFile(rule + "/pattern", pattern);
  writeFile(rule + "/out", out);
  writeFile(rule + "/err", err);
  writeFile(rule + "/status", std::to_string(status));
  return *this;
}

FakeProgram& FakeProgram::onFirst(int times, const std::string& pattern, const std::string& out, int status,
                                  const std::string& err) {
  on(pattern, out, status, err);
  char name[16];
  std::snprintf(name, sizeof name, "%06d", mRules - 1);
  writeFile(mFolder + "/rules/" + name + "/times", std::to_string(times));
  return *this;
}

FakeProgram& FakeProgram::fallback(int status, const std::string& err) {
  writeFile(mFolder + "/fallback-status", std::to_string(status));
  writeFile(mFolder + "/fallback-err", err);
  return *this;
}

void FakeProgram::clearRules() {
  std::filesystem::remove_all(mFolder + "/rules");
  std::filesystem::create_directories(mFolder + "/rules");
}

FakeProgram& FakeProgram::captureFileAfter(const std::string& option) {
  mCaptureOption = option;
  writeScript();
  return *this;
}

std::string FakeProgram::pathVariable() const {
  const char* path = std::getenv("PATH");
  return "PATH=" + mBinDir + ":" + (path != nullptr ? path : "/usr/bin:/bin");
}

std::vector<std::vector<std::string>> FakeProgram::calls() const {
  std::vector<std::vector<std::string>> out;
  int count = std::atoi(readFile(mFolder + "/count").c_str());
  for (int i = 1; i <= count; ++i) {
    std::string bytes = readFile(mFolder + "/calls/" + std::to_string(i));
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1) {
      args.push_back(bytes.substr(start, end - start));
    }
    out.push_back(std::move(args));
  }
  return out;
}

std::vector<std::string> FakeProgram::callLines() const {
  std::vector<std::string> lines;
  for (const auto& call : calls()) {
    std::string line;
    for (const auto& arg : call) {
      line += (line.empty() ? "" : " ") + arg;
    }
    lines.push_back(line);
  }
  return lines;
}

std::string FakeProgram::capturedFile(size_t index) const {
  return readFile(mFolder + "/calls/" + std::to_string(index + 1) + ".file");
}

void FakeProgram::forgetCalls() {
  std::filesystem::remove_all(mFolder + "/calls");
  std::filesystem::create_directories(mFolder + "/calls");
  std::filesystem::remove(mFolder + "/count");
}

}  // namespace zavro::test
