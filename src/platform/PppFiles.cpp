// PppFiles: the private folder of pppd files, written atomically with owner-only modes, and read back.
#include "platform/PppFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/TabFields.h"
#include "runtime/AtomicFile.h"
#include "runtime/Environment.h"

namespace zavro {

namespace {

bool readWhole(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  out.clear();
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ::close(fd);
      return n == 0;
    }
  }
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string systemError(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Creates the parents as needed (0700 for new ones) and the folder itself, then insists that the folder is a
// real directory of ours with no access for anyone else: a folder planted by another user, or a symbolic
// link to one, would expose the secrets.
bool makePrivateFolder(const std::string& folder, std::string& error) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    std::string parent = folder.substr(0, slash);
    if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
      error = systemError("cannot create", parent);
      return false;
    }
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = systemError("cannot create", folder);
    return false;
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    error = systemError("cannot examine", folder);
    return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    error = folder + " is not a folder owned by this user";
    return false;
  }
  if ((st.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
    error = systemError("cannot make private", folder);
    return false;
  }
  return true;
}

// Owner-only, replaced whole: a reader (pppd) never sees half a file.
bool writeAtomically(const std::string& path, const std::string& bytes, std::string& error) {
  return writeFileAtomically(path, bytes, 0600, &error);
}

bool hasControlCharacters(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      return true;
    }
  }
  return false;
}

// Characters of a dial string: digits, letters (W, P, T modifiers), the usual punctuation of dial strings.
// Quotes, backslashes and carets would change the meaning of the chat script line the number goes into.
bool isDialable(const std::string& phone) {
  static const std::string kPunctuation = " *#,;!@&+-.()/=$";
  for (unsigned char c : phone) {
    if (!std::isalnum(c) && kPunctuation.find(static_cast<char>(c)) == std::string::npos) {
      return false;
    }
  }
  return true;
}

// For a command line that pppd hands to /bin/sh.
std::string shellQuote(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string chatProgram() {
  if (::access("/usr/sbin/chat", X_OK) == 0) {
    return "/usr/sbin/chat";
  }
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::string dirs = path;
    for (size_t start = 0; start <= dirs.size();) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) {
        end = dirs.size();
      }
      std::string candidate = dirs.substr(start, end - start) + "/chat";
      if (end > start && ::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
      start = end + 1;
    }
  }
  return "chat";
}

std::string chatText(const PppSettings& s, const std::string& modemBody, const std::string& terminalBody) {
  std::string out = "# Dial script for chat, written by netconfig.\n";
  for (const char* abort : {"BUSY", "NO CARRIER", "NO DIALTONE", "NO DIAL TONE", "NO ANSWER", "ERROR"}) {
    out += std::string("ABORT \"") + abort + "\"\n";
  }
  out += "REPORT \"CONNECT\"\nTIMEOUT 15\n";
  // A modem script that uses \T dials by itself; one without it only prepares the modem for our dial.
  bool scriptDials = modemBody.find("\\T") != std::string::npos;
  if (s.modemScript.empty()) {
    out += "\"\" \"ATZ\"\n";
  } else {
    out += "# modem script " + s.modemScript + "\n";
    std::string body = modemBody;
    for (size_t at = body.find("\\T"); at != std::string::npos; at = body.find("\\T", at + s.phone.size())) {
      body.replace(at, 2, s.phone);
    }
    out += body;
    if (!body.empty() && body.back() != '\n') {
      out += '\n';
    }
  }
  if (!scriptDials) {
    if (!s.waitToDial) {
      out += "OK \"ATX3\"\n";
    }
    out += std::string("OK \"ATD") + (s.pulse ? "P" : "T") + s.phone + "\"\n";
    out += "TIMEOUT 90\nCONNECT \"\\d\\c\"\n";
  }
  if (!s.terminalScript.empty()) {
    out += "# terminal script " + s.terminalScript + "\n" + terminalBody;
    if (!terminalBody.empty() && terminalBody.back() != '\n') {
      out += '\n';
    }
  }
  return out;
}

}  // namespace

PppFiles::PppFiles(std::string folder) : mFolder(std::move(folder)) {
  while (mFolder.size() > 1 && mFolder.back() == '/') {
    mFolder.pop_back();
  }
}

PppFiles PppFiles::forCurrentUser() {
  return PppFiles(Environment::current()->supportDir() + "/ppp");
}

std::string PppFiles::quoteOption(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

std::vector<std::string> PppFiles::optionWords(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') {
        ++i;
      }
      continue;
    }
    std::string word;
    char quote = 0;
    for (; i < text.size(); ++i) {
      char ch = text[i];
      if (quote == 0 && std::isspace(static_cast<unsigned char>(ch))) {
        break;
      }
      if (ch == '\\' && i + 1 < text.size()) {
        char next = text[++i];
        word += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next == 's' ? ' ' : next;
      } else if (quote != 0 && ch == quote) {
        quote = 0;
      } else if (quote == 0 && (ch == '"' || ch == '\'')) {
        quote = ch;
      } else {
        word += ch;
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

bool PppFiles::write(const PppSettings& s, std::string& error) const {
  if (s.device.empty()) {
    error = "no modem device";
    return false;
  }
  if (hasControlCharacters(s.account) || hasControlCharacters(s.password)) {
    error = "the account or the password contains control characters";
    return false;
  }
  if (s.phone.empty()) {
    error = "no phone number to dial";
    return false;
  }
  if (!isDialable(s.phone)) {
    error = "the phone number '" + s.phone + "' contains characters a modem cannot dial";
    return false;
  }
  if (hasControlCharacters(s.device) || hasControlCharacters(s.proxy)) {
    error = "the device or the proxy contains control characters";
    return false;
  }
  std::string modemBody;
  if (!s.modemScript.empty() && !readWhole(s.modemScript, modemBody)) {
    error = systemError("cannot read the modem script", s.modemScript);
    return false;
  }
  std::string terminalBody;
  if (!s.terminalScript.empty() && !readWhole(s.terminalScript, terminalBody)) {
    error = systemError("cannot read the terminal script", s.terminalScript);
    return false;
  }
  if (!makePrivateFolder(mFolder, error)) {
    return false;
  }

  std::string secrets =
      "# The dial-up password, read by pppd through the options file.\npassword " + quoteOption(s.password) + "\n";

  std::string settings = "# Dial-up settings written by netconfig.\n";
  auto field = [&settings](const std::string& key, const std::string& value) {
    settings += key + "\t" + escapeTabField(value) + "\n";
  };
  field("port", s.port);
  field("device", s.device);
  field("account", s.account);
  field("modem-script", s.modemScript);
  field("terminal-script", s.terminalScript);
  field("idle", std::to_string(s.idleSeconds));
  field("pulse", s.pulse ? "yes" : "no");
  field("wait-to-dial", s.waitToDial ? "yes" : "no");
  field("phone", s.phone);
  for (const auto& server : s.dnsServers) {
    field("dns", server);
  }
  field("proxy", s.proxy);

  std::string connect = chatProgram() + " -v -s -r " + shellQuote(reportFile()) + " -f " + shellQuote(chatScript());
  std::string options =
      "# pppd options written by netconfig; start the link with: pppd file " + optionsFile() + " nodetach\n";
  options += quoteOption(s.device) + "\n115200\nmodem\ncrtscts\nlock\nnoipdefault\ndefaultroute\nmaxfail 1\n";
  if (s.dnsServers.empty()) {
    options += "usepeerdns\n";
  }
  if (s.idleSeconds != 0) {
    options += "idle " + std::to_string(s.idleSeconds) + "\n";
  }
  options += "user " + quoteOption(s.account) + "\n";
  options += "connect " + quoteOption(connect) + "\n";
  options += "file " + quoteOption(secretsFile()) + "\n";

  return writeAtomically(secretsFile(), secrets, error) &&
         writeAtomically(chatScript(), chatText(s, modemBody, terminalBody), error) &&
         writeAtomically(reportFile(), "", error) && writeAtomically(settingsFile(), settings, error) &&
         writeAtomically(optionsFile(), options, error);
}

std::optional<PppSettings> PppFiles::read(std::string& error) const {
  std::string text;
  if (!readWhole(settingsFile(), text)) {
    error = systemError("cannot read", settingsFile());
    return std::nullopt;
  }
  PppSettings s;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    std::string line = text.substr(start, end - start);
    start = end + 1;
    auto tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string::npos) {
      continue;
    }
    std::string key = line.substr(0, tab);
    std::string value = unescapeTabField(line.substr(tab + 1));
    if (key == "port") {
      s.port = value;
    } else if (key == "device") {
      s.device = value;
    } else if (key == "account") {
      s.account = value;
    } else if (key == "modem-script") {
      s.modemScript = value;
    } else if (key == "terminal-script") {
      s.terminalScript = value;
    } else if (key == "idle") {
      s.idleSeconds = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (key == "pulse") {
      s.pulse = value == "yes";
    } else if (key == "wait-to-dial") {
      s.waitToDial = value == "yes";
    } else if (key == "phone") {
      s.phone = value;
    } else if (key == "dns") {
      s.dnsServers.push_back(value);
    } else if (key == "proxy") {
      s.proxy = value;
    }
  }
  std::string secrets;
  if (readWhole(secretsFile(), secrets)) {
    auto words = optionWords(secrets);
    for (size_t i = 0; i + 1 < words.size(); ++i) {
      if (words[i] == "password") {
        s.password = words[i + 1];
      }
    }
  }
  return s;
}

bool PppFiles::removeSecrets() const {
  return ::unlink(secretsFile().c_str()) == 0 || errno == ENOENT;
}

std::vector<std::string> PppFiles::pppdArguments() const {
  return {"file", optionsFile(), "nodetach"};
}

std::optional<std::string> PppFiles::connectSpeed() const {
  std::string report;
  if (!readWhole(reportFile(), report)) {
    return std::nullopt;
  }
  return connectSpeedFromReport(report);
}

std::optional<std::string> PppFiles::connectSpeedFromReport(const std::string& report) {
  auto at = report.rfind("CONNECT");
  if (at == std::string::npos) {
    return std::nullopt;
  }
  size_t i = at + 7;
  while (i < report.size() && (report[i] == ' ' || report[i] == '\t')) {
    ++i;
  }
  size_t digits = i;
  while (digits < report.size() && std::isdigit(static_cast<unsigned char>(report[digits]))) {
    ++digits;
  }
  return report.substr(i, digits - i);
}

std::optional<std::string> devicePathForPort(const std::string& port) {
  if (port.empty()) {
    return std::nullopt;
  }
  if (port[0] == '/') {
    return port;
  }
  if (port.find('/') == std::string::npos && port != "." && port != "..") {
    std::string dev = "/dev/" + port;
    struct stat st {};
    if (::stat(dev.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) {
      return dev;
    }
  }
  return std::nullopt;
}

std::optional<std::string> modemScriptPath(const std::string& given) {
  if (given.empty()) {
    return std::nullopt;
  }
  if (isFile(given)) {
    return given;
  }
  std::string name = given.substr(given.find_last_of('/') + 1);
  if (name.empty() || name == "." || name == "..") {
    return std::nullopt;
  }
  for (const std::string& folder :
       {Environment::current()->dataHome() + "/ZavroConnect/Modem Scripts",
        std::string("/usr/local/share/ZavroConnect/Modem Scripts"),
        std::string("/usr/share/ZavroConnect/Modem Scripts"), std::string("/etc/chatscripts")}) {
    if (isFile(folder + "/" + name)) {
      return folder + "/" + name;
    }
  }
  return std::nullopt;
}

}  // namespace zavro
