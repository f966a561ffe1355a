// A stand-in for a system program (nmcli, pppd, ...): a shell script that records its calls and answers from rules.
#pragma once

#include <string>
#include <vector>

namespace zavro::test {

// Lives in <folder>/bin/<name>, with its bookkeeping next to it in <folder>. Put binDir() first in the PATH of
// the process under test (pathVariable() gives the entry for ProcessOptions::extraEnvironment).
//
// Each call is recorded with its exact argument vector. The answer comes from the first rule whose shell
// pattern (as in `case`) matches the arguments joined by single spaces: the rule's standard output, standard
// error and exit status. Without a matching rule the program prints nothing and exits with the fallback
// status (0 unless set). Rules may be changed between runs of the program under test.
class FakeProgram {
 public:
  FakeProgram(std::string folder, std::string name);

  FakeProgram& on(const std::string& pattern, const std::string& out, int status = 0, const std::string& err = "");
  // A rule that answers only its first `times` matching calls, then steps aside for the rules after it.
  FakeProgram& onFirst(int times, const std::string& pattern, const std::string& out, int status = 0,
                       const std::string& err = "");
  FakeProgram& fallback(int status, const std::string& err = "");
  void clearRules();
  // At every call, copies the file named by the argument that follows `option` (for files that the program
  // under test removes as soon as the call returns).
  FakeProgram& captureFileAfter(const std::string& option);

  const std::string& binDir() const { return mBinDir; }
  std::string path() const { return mBinDir + "/" + mName; }
  // "PATH=<binDir>:<this process's PATH>"
  std::string pathVariable() const;

  std::vector<std::vector<std::string>> calls() const;
  // Each call's arguments joined by single spaces.
  std::vector<std::string> callLines() const;
  // The file captured at call `index` (0-based), "" when there was none.
  std::string capturedFile(size_t index) const;
  void forgetCalls();

 private:
  void writeScript() const;

  std::string mFolder;
  std::string mName;
  std::string mBinDir;
  int mRules = 0;
  std::string mCaptureOption;
};

}  // namespace zavro::test
