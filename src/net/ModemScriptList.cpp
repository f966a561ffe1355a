// Sorting, deduplicating and locating modem scripts, and the process's default script name.
#include "net/ModemScriptList.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "runtime/ProcessWide.h"

namespace zavro {

namespace {

struct DefaultScript {
  std::mutex mutex;
  std::string name = kDefaultModemScriptName;
};
ProcessWide<DefaultScript> gDefault([] { return std::make_shared<DefaultScript>(); });

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Full order: the name order, then bytes, so that exact duplicates always end up side by side.
bool lessForSorting(const std::string& a, const std::string& b) {
  int c = compareModemScriptNames(a, b);
  return c != 0 ? c < 0 : a < b;
}

}  // namespace

int compareModemScriptNames(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      // Without leading zeros the longer run is the larger number; equal lengths compare digit by digit.
      if (ei - si != ej - sj) {
        return ei - si < ej - sj ? -1 : 1;
      }
      int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) {
        return c < 0 ? -1 : 1;
      }
      i = ei;
      j = ej;
      continue;
    }
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[j]));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
    ++i;
    ++j;
  }
  if (i == a.size() && j == b.size()) {
    return 0;
  }
  return i == a.size() ? -1 : 1;
}

int MoreSCCreateCCLArray(std::vector<std::string>& names, size_t& defaultIndex, const ModemScripts& scripts) {
  names.clear();
  for (auto& file : scripts.files()) {
    names.push_back(std::move(file.name));
  }
  std::sort(names.begin(), names.end(), lessForSorting);
  names.erase(std::unique(names.begin(), names.end()), names.end());

  std::string wanted = MoreSCCopyDefaultCCL();
  auto it = std::lower_bound(names.begin(), names.end(), wanted, [](const std::string& a, const std::string& b) {
    return compareModemScriptNames(a, b) < 0;
  });
  defaultIndex =
      (it != names.end() && compareModemScriptNames(*it, wanted) == 0) ? static_cast<size_t>(it - names.begin()) : 0;
  return 0;
}

int MoreSCCreateCCLArray(std::vector<std::string>& names, size_t& defaultIndex) {
  return MoreSCCreateCCLArray(names, defaultIndex, *ModemScripts::shared());
}

void MoreSCSetDefaultCCL(const std::string& name) {
  auto state = gDefault.get();
  std::lock_guard lock(state->mutex);
  state->name = name.empty() ? std::string(kDefaultModemScriptName) : name;
}

std::string MoreSCCopyDefaultCCL() {
  auto state = gDefault.get();
  std::lock_guard lock(state->mutex);
  return state->name;
}

std::optional<std::string> modemScriptPath(const std::string& name, const ModemScripts& scripts) {
  if (name.empty()) {
    return std::nullopt;
  }
  for (const auto& file : scripts.files()) {
    if (file.name == name) {
      return file.path;
    }
  }
  return std::nullopt;
}

}  // namespace zavro
