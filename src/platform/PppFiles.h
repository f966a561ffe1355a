// The dial-up files netconfig writes for pppd (options, secrets, chat script) and the dial-up connection reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zavro {

// What one dial-up attempt asks of pppd, chat and the modem.
struct PppSettings {
  std::string port;                     // the modem port as the user chose it ("-ppp-device")
  std::string device;                   // the device pppd opens: devicePathForPort(port)
  std::string account;                  // login name sent to the peer
  std::string password;                 // only ever written to the secrets file
  std::string modemScript;              // chat script that prepares the modem; empty: a plain "ATZ"
  std::string terminalScript;           // chat script run after CONNECT; empty: none
  unsigned idleSeconds = 0;             // 0: never hang up for idleness
  bool pulse = false;                   // pulse dialling (ATDP) instead of tone (ATDT)
  bool waitToDial = true;               // false: dial blind (ATX3), without waiting for a dial tone
  std::string phone;                    // the dial string
  std::vector<std::string> dnsServers;  // fixed name servers; empty: the peer's ("usepeerdns")
  std::string proxy;                    // "host:port" of the HTTP proxy to use over the link, or empty
};

// The folder <support folder>/ppp, readable by its owner only (0700), holds one set of files, all 0600:
//   options         pppd options: device, speed, modem flags, "user", "idle", routes, the connect line
//                   (chat with -r so the CONNECT line lands in the report) and "file <secrets>"
//   secrets         pppd options holding only `password "..."`; pppd reads it through the options file, so
//                   the password never appears on a command line
//   chat            the chat script: aborts, REPORT CONNECT, the modem script, the dial command, the
//                   terminal script
//   connect-report  emptied at every write; chat appends the modem's CONNECT line to it
//   settings        the PppSettings above (without the password) as "key<TAB>value" lines, for read()
// Every write replaces the whole set; each file is replaced atomically.
//
// Start the link with `pppd` + pppdArguments(), that is: pppd file <folder>/options nodetach
// pppd then logs its progress on standard output and stays in the foreground until the link is gone.
class PppFiles {
 public:
  explicit PppFiles(std::string folder);
  // The folder of the installed Environment: Environment::current()->supportDir() + "/ppp".
  static PppFiles forCurrentUser();

  const std::string& folder() const { return mFolder; }
  std::string optionsFile() const { return mFolder + "/options"; }
  std::string secretsFile() const { return mFolder + "/secrets"; }
  std::string chatScript() const { return mFolder + "/chat"; }
  std::string reportFile() const { return mFolder + "/connect-report"; }
  std::string settingsFile() const { return mFolder + "/settings"; }

  // Writes every file. Fails (with a message in `error`) when the folder cannot be made private (it exists
  // and is not a directory of ours), a value cannot be written safely (control characters in the account or
  // password; a phone number with characters a modem does not dial), or a script cannot be read.
  bool write(const PppSettings& settings, std::string& error) const;
  // The settings of the last write, password included (from the secrets file; empty when they are gone).
  std::optional<PppSettings> read(std::string& error) const;
  // Removes the password once the link no longer needs it; true when no secrets file is left.
  bool removeSecrets() const;

  // The arguments after "pppd" that start the link described by these files.
  std::vector<std::string> pppdArguments() const;
  // The speed of the last CONNECT line chat reported, if any (see connectSpeedFromReport).
  std::optional<std::string> connectSpeed() const;
  // "CONNECT 52000/V90" -> "52000"; a CONNECT without a number -> "". The last CONNECT line counts;
  // nullopt when there is none.
  static std::optional<std::string> connectSpeedFromReport(const std::string& report);

  // The words of a pppd options text as pppd reads them: quotes, backslash escapes, '#' comments.
  static std::vector<std::string> optionWords(const std::string& text);
  // `value` as one pppd option word (double quotes, with '\' and '"' escaped).
  static std::string quoteOption(const std::string& value);

 private:
  std::string mFolder;
};

// The device path for a modem port name: a name that is already a path is used as it is; "ttyUSB0" becomes
// "/dev/ttyUSB0" when that exists. User-visible port names ("USB Modem") are mapped by the port discovery
// layer when it is there; until then they give nullopt.
std::optional<std::string> devicePathForPort(const std::string& port);

// The modem script file for the path the POP arguments give: the path itself when it exists, else a file of
// the same name in the modem script folders (<data home>/ZavroConnect/Modem Scripts,
// /usr/local/share/ZavroConnect/Modem Scripts, /usr/share/ZavroConnect/Modem Scripts, /etc/chatscripts).
std::optional<std::string> modemScriptPath(const std::string& given);

}  // namespace zavro
