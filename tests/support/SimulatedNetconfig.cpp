// Parsing of the records of the simulated netconfig: escaped fields joined by tabs, one run per line.
#include "support/SimulatedNetconfig.h"

#include "common/TabFields.h"
#include "support/TempDir.h"

namespace zavro::test {

std::string netconfigProgram() {
  return std::string(ZAVRO_STAGE_DIR) + "/SharedSupport/netconfig";
}

std::vector<SimulatedNetconfigRun> readSimulatedNetconfigRuns(const std::string& file) {
  std::vector<SimulatedNetconfigRun> runs;
  std::string text = readFile(file);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    start = end + 1;
    SimulatedNetconfigRun run;
    std::vector<std::string> raw;
    for (size_t from = 0;;) {
      size_t tab = line.find('\t', from);
      raw.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
      if (tab == std::string::npos) {
        break;
      }
      from = tab + 1;
    }
    // The marker field cannot come from an argument: escaping never leaves a backslash before an 's'.
    if (raw.back() == "\\stdin-password") {
      run.passwordFromStdin = true;
      raw.pop_back();
    }
    if (!(raw.size() == 1 && raw[0].empty())) {
      for (const auto& field : raw) {
        run.args.push_back(unescapeTabField(field));
      }
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

}  // namespace zavro::test
