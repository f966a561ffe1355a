// A stand-in for an action's program: appends its name and arguments to calls.log beside itself.
//
// One line per run: the program's file name, then each argument, separated by '|'. A name containing
// "slow" waits half a second first, so tests can tell a waited-for run from one that is not.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  std::string self = argv[0];
  const size_t slash = self.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
  const std::string name = slash == std::string::npos ? self : self.substr(slash + 1);
  if (name.find("slow") != std::string::npos) {
    ::usleep(500 * 1000);
  }
  std::string line = name;
  for (int i = 1; i < argc; ++i) {
    line += "|";
    line += argv[i];
  }
  line += "\n";
  std::FILE* out = std::fopen((dir + "/calls.log").c_str(), "a");
  if (out == nullptr) {
    return 1;
  }
  std::fputs(line.c_str(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
