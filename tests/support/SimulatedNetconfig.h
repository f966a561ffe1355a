// Reads what `netconfig --simulate FILE` recorded, for tests of whoever runs netconfig.
#pragma once

#include <string>
#include <vector>

namespace zavro::test {

struct SimulatedNetconfigRun {
  std::vector<std::string> args;   // the argument vector after "--simulate FILE", exactly as given
  bool passwordFromStdin = false;  // "-ppp-password" "-" and a password line arrived on standard input
};

// The staged netconfig program.
std::string netconfigProgram();

// One entry per run, oldest first; empty when the file does not exist.
std::vector<SimulatedNetconfigRun> readSimulatedNetconfigRuns(const std::string& file);

}  // namespace zavro::test
