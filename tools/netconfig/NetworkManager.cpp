// NetworkManager through nmcli: device choice, busy detection, the in-memory profile, restore and delete.
#include "NetworkManager.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "runtime/Process.h"

namespace zavro::netconfig {

namespace {

const char* const kProfileName = "Zavro";
constexpr int kQueryTimeout = 15;
constexpr int kActivationWait = 45;
constexpr int kRestoreWait = 20;

void say(const std::string& message) {
  std::fprintf(stderr, "netconfig: %s\n", message.c_str());
}

std::string firstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

bool makeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = slash == std::string::npos ? folder : folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
    if (slash == std::string::npos) {
      return true;
    }
  }
}

bool writePrivateFile(const std::string& path, const std::string& bytes) {
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) {
    return false;
  }
  std::string tmpl = path + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) {
    return false;
  }
  bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(tmpl.c_str(), path.c_str()) != 0) {
    ::unlink(tmpl.c_str());
    return false;
  }
  return true;
}

std::string readText(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
      out.append(buffer, n);
    }
    std::fclose(f);
  }
  return out;
}

// The connection that was active on the device before the profile replaced it.
struct Previous {
  std::string device;
  std::string uuid;  // empty: the device had no connection
  std::string name;
};

std::optional<Previous> readPrevious(const std::string& path) {
  if (::access(path.c_str(), F_OK) != 0) {
    return std::nullopt;
  }
  Previous previous;
  std::string text = readText(path);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    start = end + 1;
    auto tab = line.find('\t');
    if (tab == std::string::npos) {
      continue;
    }
    std::string key = line.substr(0, tab);
    std::string value = line.substr(tab + 1);
    if (key == "device") {
      previous.device = value;
    } else if (key == "uuid") {
      previous.uuid = value;
    } else if (key == "name") {
      previous.name = value;
    }
  }
  return previous;
}

bool writePrevious(const std::string& path, const Previous& previous) {
  auto clean = [](std::string value) {
    for (char& c : value) {
      if (c == '\n' || c == '\t') {
        c = ' ';
      }
    }
    return value;
  };
  return writePrivateFile(path,
                          "# The connection to bring back when the dial-up profile is no longer needed.\n"
                          "device\t" +
                              clean(previous.device) + "\nuuid\t" + clean(previous.uuid) + "\nname\t" +
                              clean(previous.name) + "\n");
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool isHex(const std::string& text) {
  return text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// 5 or 13 characters, or 10 or 26 hex digits, are WEP keys as they stand; anything else is a passphrase
// from which the key is derived.
const char* wepKeyType(const std::string& key) {
  size_t n = key.size();
  if (n == 5 || n == 13 || ((n == 10 || n == 26) && isHex(key))) {
    return "key";
  }
  return "passphrase";
}

}  // namespace

std::vector<std::string> splitTerse(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\\' && i + 1 < line.size()) {
      fields.back() += line[++i];
    } else if (c == ':') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

NetworkManager::NetworkManager(std::string stateFile, std::string privateFolder)
    : mStateFile(std::move(stateFile)), mPrivateFolder(std::move(privateFolder)) {}

NetworkManager::Result NetworkManager::nmcli(const std::vector<std::string>& args, int timeoutSeconds) const {
  Result result;
  Process::Options options;
  options.pipeStdout = true;
  options.pipeStderr = true;
  // Parsed output must not depend on the user's language.
  options.extraEnvironment = {"LC_ALL=C"};
  auto process = Process::start("nmcli", args, options);
  if (!process) {
    return result;
  }
  result.started = true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int fds[2] = {process->stdoutFd(), process->stderrFd()};
  std::string* sinks[2] = {&result.out, &result.err};
  bool open[2] = {true, true};
  while (open[0] || open[1]) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      break;
    }
    pollfd pfds[2];
    int map[2];
    int count = 0;
    for (int k = 0; k < 2; ++k) {
      if (open[k]) {
        pfds[count] = {fds[k], POLLIN, 0};
        map[count++] = k;
      }
    }
    int ready = ::poll(pfds, static_cast<nfds_t>(count), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready < 0) {
      break;
    }
    for (int j = 0; j < count; ++j) {
      if ((pfds[j].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
        continue;
      }
      char buffer[4096];
      ssize_t n = ::read(pfds[j].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[map[j]]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        open[map[j]] = false;
      }
    }
  }
  if (result.timedOut) {
    process->kill(SIGTERM);
    for (int i = 0; i < 20 && !process->tryWait(); ++i) {
      ::usleep(50 * 1000);
    }
    process->kill(SIGKILL);
  }
  result.status = process->wait();
  return result;
}

int NetworkManager::failure(const std::string& what, const Result& result) const {
  if (!result.started) {
    say("cannot run nmcli (NetworkManager's command-line client): it is not installed or not in PATH");
    return kStatusFailed;
  }
  if (result.timedOut) {
    say(what + ": NetworkManager did not answer in time");
    return kStatusBusy;
  }
  if (result.status == 8) {
    say("NetworkManager is not running");
    return kStatusFailed;
  }
  std::string reason = firstLine(result.err.empty() ? result.out : result.err);
  say(what + " failed" + (reason.empty() ? std::string() : ": " + reason));
  return kStatusFailed;
}

bool NetworkManager::query(const std::vector<std::string>& args, std::vector<Entry>& rows, int& status) const {
  Result result = nmcli(args, kQueryTimeout);
  if (!result.started || result.timedOut || result.status != 0) {
    std::string what = "nmcli";
    for (const auto& a : args) {
      what += " " + a;
    }
    status = failure(what, result);
    return false;
  }
  rows.clear();
  size_t start = 0;
  while (start < result.out.size()) {
    size_t end = result.out.find('\n', start);
    if (end == std::string::npos) {
      end = result.out.size();
    }
    std::string line = result.out.substr(start, end - start);
    start = end + 1;
    if (!line.empty()) {
      rows.push_back({splitTerse(line)});
    }
  }
  return true;
}

int NetworkManager::checkRunning() const {
  std::vector<Entry> rows;
  int status = kStatusOK;
  if (!query({"-t", "-f", "RUNNING,STARTUP", "general"}, rows, status)) {
    return status;
  }
  if (!rows.empty() && rows[0].fields.size() >= 2 && rows[0].fields[1] == "starting") {
    say("NetworkManager is still starting");
    return kStatusBusy;
  }
  return kStatusOK;
}

int NetworkManager::configure(const NetconfigRequest& request) {
  if (!request.dhcp) {
    say("-dhcp no: manual addressing needs an address, which these arguments do not give");
    return kStatusFailed;
  }
  bool wireless = request.interface == Interface::Wireless;
  if (int status = checkRunning(); status != kStatusOK) {
    return status;
  }

  std::vector<Entry> rows;
  int status = kStatusOK;
  if (!query({"-t", "-f", "DEVICE,TYPE,STATE", "device"}, rows, status)) {
    return status;
  }
  const char* wanted = wireless ? "wifi" : "ethernet";
  std::string device;
  std::string state;
  for (const auto& row : rows) {
    if (row.fields.size() >= 3 && row.fields[1] == wanted && row.fields[2] != "unmanaged") {
      device = row.fields[0];
      state = row.fields[2];
      break;
    }
  }
  if (device.empty()) {
    say(std::string("no ") + (wireless ? "wireless" : "wired") + " network device is managed by NetworkManager");
    return kStatusFailed;
  }
  if (startsWith(state, "connecting") || state == "deactivating") {
    say("NetworkManager is busy: " + device + " is " + state);
    return kStatusBusy;
  }
  // A wireless location without a network name keeps whatever network the device is on.
  if (wireless && !request.ssid) {
    return kStatusOK;
  }

  // Remember what to come back to, unless our own profile is what is active (a redial without a restore in
  // between): then the connection remembered earlier is still the one to restore.
  if (!query({"-t", "-f", "NAME,UUID,DEVICE", "connection", "show", "--active"}, rows, status)) {
    return status;
  }
  Previous previous{device, "", ""};
  bool ourProfileActive = false;
  for (const auto& row : rows) {
    if (row.fields.size() >= 3 && row.fields[2] == device) {
      if (row.fields[0] == kProfileName) {
        ourProfileActive = true;
      } else {
        previous.uuid = row.fields[1];
        previous.name = row.fields[0];
      }
    }
  }
  if (!(ourProfileActive && readPrevious(mStateFile)) && !writePrevious(mStateFile, previous)) {
    say("cannot write " + mStateFile + ": " + std::strerror(errno));
    return kStatusFailed;
  }

  if (int deleted = deleteProfile(); deleted != kStatusOK) {
    return deleted;
  }

  std::vector<std::string> add = {"connection", "add",      "save",       "no",     "type",
                                  wanted,       "con-name", kProfileName, "ifname", device};
  if (wireless) {
    add.insert(add.end(), {"ssid", *request.ssid});
  }
  add.insert(add.end(), {"connection.autoconnect", "no", "ipv4.method", "auto"});
  std::string dns4;
  std::string dns6;
  for (const auto& server : request.dnsServers) {
    std::string& list = server.find(':') == std::string::npos ? dns4 : dns6;
    list += (list.empty() ? "" : ",") + server;
  }
  if (!dns4.empty()) {
    add.insert(add.end(), {"ipv4.dns", dns4, "ipv4.ignore-auto-dns", "yes"});
  }
  if (!dns6.empty()) {
    add.insert(add.end(), {"ipv6.dns", dns6, "ipv6.ignore-auto-dns", "yes"});
  }
  if (!request.proxy.empty()) {
    // NetworkManager knows no fixed proxy, only proxy scripts: one that sends everything to the server.
    add.insert(add.end(), {"proxy.method", "auto", "proxy.browser-only", "no", "proxy.pac-script",
                           "function FindProxyForURL(url, host) { return \"PROXY " + request.proxy + "\"; }"});
  }
  if (wireless && request.wepKey) {
    // The key itself goes to nmcli in a file at activation, never on its command line.
    add.insert(add.end(), {"wifi-sec.key-mgmt", "none", "wifi-sec.wep-key-type", wepKeyType(*request.wepKey)});
  }
  Result added = nmcli(add, kQueryTimeout);
  if (!added.started || added.timedOut || added.status != 0) {
    int result = failure("creating the " + std::string(kProfileName) + " profile", added);
    restorePrevious();
    return result == kStatusBusy ? kStatusFailed : result;
  }

  std::string secrets;
  if (wireless && request.wepKey) {
    for (char c : *request.wepKey) {
      if (c == '\n' || c == '\r' || c == '\0') {
        say("the WEP key contains a line break");
        restorePrevious();
        deleteProfile();
        return kStatusFailed;
      }
    }
    if (!makeFolders(mPrivateFolder)) {
      say("cannot create " + mPrivateFolder + ": " + std::strerror(errno));
      restorePrevious();
      deleteProfile();
      return kStatusFailed;
    }
    secrets = mPrivateFolder + "/netconfig-secrets.XXXXXX";
    int fd = ::mkstemp(secrets.data());
    std::string line = "802-11-wireless-security.wep-key0:" + *request.wepKey + "\n";
    bool ok = fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (fd >= 0) {
      ok = ::close(fd) == 0 && ok;
    }
    if (!ok) {
      say("cannot write the WEP key for nmcli: " + std::string(std::strerror(errno)));
      ::unlink(secrets.c_str());
      restorePrevious();
      deleteProfile();
      return kStatusFailed;
    }
  }
  std::vector<std::string> up = {"--wait", std::to_string(kActivationWait), "connection", "up", "id", kProfileName};
  if (!secrets.empty()) {
    up.insert(up.end(), {"passwd-file", secrets});
  }
  Result activated = nmcli(up, kActivationWait + 15);
  if (!secrets.empty()) {
    ::unlink(secrets.c_str());
  }
  if (!activated.started || activated.timedOut || activated.status != 0) {
    int result = activated.timedOut ? (say("activating the profile on " + device + " timed out"), kStatusFailed)
                                    : failure("activating the profile on " + device, activated);
    // Do not leave the user without the network they had.
    restorePrevious();
    deleteProfile();
    return result == kStatusBusy ? kStatusFailed : result;
  }
  return kStatusOK;
}

int NetworkManager::restorePrevious() {
  auto previous = readPrevious(mStateFile);
  if (!previous) {
    return kStatusOK;
  }
  std::vector<Entry> rows;
  int status = kStatusOK;
  if (!query({"-t", "-f", "NAME,UUID,DEVICE", "connection", "show", "--active"}, rows, status)) {
    // Kept, so that a later restore can still bring the connection back.
    return kStatusFailed;
  }
  int result = kStatusOK;
  if (!previous->uuid.empty()) {
    bool alreadyActive = false;
    for (const auto& row : rows) {
      alreadyActive = alreadyActive || (row.fields.size() >= 3 && row.fields[1] == previous->uuid);
    }
    if (!alreadyActive) {
      Result up = nmcli({"--wait", std::to_string(kRestoreWait), "connection", "up", "uuid", previous->uuid, "ifname",
                         previous->device},
                        kRestoreWait + 15);
      if (!up.started || up.timedOut || up.status != 0) {
        failure("bringing back the connection '" + previous->name + "'", up);
        result = kStatusFailed;
      }
    }
  } else {
    // The device had no connection: take ours down so it is as it was.
    for (const auto& row : rows) {
      if (row.fields.size() >= 3 && row.fields[0] == kProfileName) {
        Result down = nmcli({"connection", "down", "uuid", row.fields[1]}, kQueryTimeout);
        if (!down.started || down.timedOut || (down.status != 0 && down.status != 10)) {
          failure("taking the " + std::string(kProfileName) + " profile down", down);
          result = kStatusFailed;
        }
      }
    }
  }
  ::unlink(mStateFile.c_str());
  return result;
}

int NetworkManager::deleteProfile() {
  Result listed = nmcli({"-t", "-f", "NAME,UUID", "connection", "show"}, kQueryTimeout);
  if (!listed.started || (!listed.timedOut && listed.status == 8)) {
    // The profile lives only in NetworkManager's memory: without NetworkManager there is none to delete.
    return kStatusOK;
  }
  if (listed.timedOut || listed.status != 0) {
    return failure("listing the connection profiles", listed) == kStatusBusy ? kStatusBusy : kStatusFailed;
  }
  int result = kStatusOK;
  size_t start = 0;
  while (start < listed.out.size()) {
    size_t end = listed.out.find('\n', start);
    if (end == std::string::npos) {
      end = listed.out.size();
    }
    auto fields = splitTerse(listed.out.substr(start, end - start));
    start = end + 1;
    if (fields.size() >= 2 && fields[0] == kProfileName) {
      Result deleted = nmcli({"connection", "delete", "uuid", fields[1]}, kQueryTimeout);
      if (!deleted.started || deleted.timedOut || (deleted.status != 0 && deleted.status != 10)) {
        failure("deleting the " + std::string(kProfileName) + " profile", deleted);
        result = kStatusFailed;
      }
    }
  }
  return result;
}

}  // namespace zavro::netconfig
