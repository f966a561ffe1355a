// The NetworkManager side of netconfig: a temporary "Zavro" profile through nmcli, and the way back.
#pragma once

#include <string>
#include <vector>

#include "NetconfigRequest.h"

namespace zavro::netconfig {

// Exit statuses of netconfig.
inline constexpr int kStatusOK = 0;
inline constexpr int kStatusFailed = 1;
inline constexpr int kStatusBusy = 2;

// Drives NetworkManager with `nmcli` (found in PATH, run with LC_ALL=C and an argument vector, never a
// shell). Every step answers one of the statuses above and explains a failure on standard error.
//
// Busy (2) means NetworkManager cannot take the request now and nothing has been changed:
//   - "nmcli general" reports STARTUP "starting";
//   - the chosen device is "connecting (...)" or "deactivating" (an activation is in progress on it);
//   - nmcli does not answer a query within 15 seconds.
// Everything else that goes wrong is a failure (1): nmcli missing, NetworkManager not running, no usable
// device of the kind asked for, nmcli refusing a change (permissions, bad values), an activation that fails
// or times out. A failed activation puts the previous connection back before answering.
class NetworkManager {
 public:
  // `stateFile` remembers the connection that was active before the profile was brought up;
  // `privateFolder` receives the short-lived secrets file handed to nmcli.
  NetworkManager(std::string stateFile, std::string privateFolder);

  int configure(const NetconfigRequest& request);
  int restorePrevious();
  int deleteProfile();

 private:
  struct Result {
    bool started = false;
    bool timedOut = false;
    int status = -1;
    std::string out;
    std::string err;
  };
  struct Entry {
    std::vector<std::string> fields;
  };

  Result nmcli(const std::vector<std::string>& args, int timeoutSeconds) const;
  // Runs a terse query; on failure prints the reason and sets `status` (1 or 2).
  bool query(const std::vector<std::string>& args, std::vector<Entry>& rows, int& status) const;
  int failure(const std::string& what, const Result& result) const;
  int checkRunning() const;

  std::string mStateFile;
  std::string mPrivateFolder;
};

// Splits one line of nmcli's terse output at the unescaped ':' and removes the escapes.
std::vector<std::string> splitTerse(const std::string& line);

}  // namespace zavro::netconfig
