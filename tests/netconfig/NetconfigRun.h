// Runs the staged netconfig program with a given environment and standard input, and collects what it says.
#pragma once

#include <string>
#include <vector>

#include "runtime/Process.h"
#include "support/SimulatedNetconfig.h"

namespace zavro::test {

struct NetconfigResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline NetconfigResult runNetconfig(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                                    const std::string& input = "") {
  Process::Options options;
  options.pipeStdin = true;
  options.pipeStdout = true;
  options.pipeStderr = true;
  options.extraEnvironment = environment;
  NetconfigResult result;
  auto process = Process::start(netconfigProgram(), args, options);
  if (!process) {
    return result;
  }
  process->writeStdin(input);
  process->closeStdin();
  result.out = process->readAllStdout();
  result.err = process->readAllStderr();
  result.status = process->wait();
  return result;
}

}  // namespace zavro::test
