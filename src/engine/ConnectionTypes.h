// Connection status and error codes, access-type classes, and what a connection is told about its POP.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zavro {

class POP;
class Reachability;

// Status values; the numbers are what crosses between the threads.
constexpr std::int32_t kConnectionIdle = 0;           // nothing in progress; reaching it ends the thread
constexpr std::int32_t kConnectionConnecting = 1;     // dialing, joining or logging in
constexpr std::int32_t kConnectionConnected = 2;      // connection up
constexpr std::int32_t kConnectionDisconnecting = 3;  // tear-down in progress

// Error codes, shared with the authenticators. 7 has no name; receivers treat it as unknown.
constexpr std::int32_t kConnectionNoErr = 0;
constexpr std::int32_t kConnectionMiscErr = 1;            // dial-up stack failure while connected or connecting
constexpr std::int32_t kConnectionModemErr = 2;           // dial-up stack could not be opened
constexpr std::int32_t kConnectionHTTPErr = 3;            // unexpected HTTP status or reply content
constexpr std::int32_t kConnectionAuthenticationErr = 4;  // login refused
constexpr std::int32_t kConnectionAuthenticatedErr = 5;   // already logged in (still counts as connected)
constexpr std::int32_t kConnectionTerminationErr = 6;     // logout failed
constexpr std::int32_t kConnectionProtocolErr = 8;        // no connection kind or authenticator for the POP
constexpr std::int32_t kConnectionNetworkErr = 9;         // the network did not come up
constexpr std::int32_t kConnectionAbortedErr = 10;        // a login in progress was aborted by a disconnect

// An access type is dial-up when it has a bit of 0x187 and broadband when it has a bit of 0x78 (wired
// 0x08, the other broadband bits wireless). These are the phonebook's access-type bits.
constexpr bool isDialupAccessType(std::uint32_t accessType) {
  return (accessType & 0x187u) != 0;
}
constexpr bool isBroadbandAccessType(std::uint32_t accessType) {
  return (accessType & 0x78u) != 0;
}
constexpr bool isWiredAccessType(std::uint32_t accessType) {
  return (accessType & 0x08u) != 0;
}

// The POP a connection connects to, as the connect controller hands it over with connect(). The controller
// fills the fields from the phonebook's POP (whose connection operations read the settings at that
// moment) and passes the POP itself along, kept alive for the attempt and only read.
struct ConnectionPOP {
  std::shared_ptr<const POP> pop;  // may be empty (tests, the simulated connection)
  std::string popID;
  std::uint32_t accessType = 0;
  std::string accessProcedure;  // broadband: the authenticator code, e.g. "GI" or "WY.1"
  std::string loginString;      // the login name for this POP
};

// Values a connection takes from outside its POP. The controller fills them from the administrator and
// user settings when it starts a connection thread; the defaults are what the connection uses without them.
struct ConnectionSettings {
  // The well-known public web host whose reachability tells that the network is up.
  std::string reachabilityHost = "www.example.com";
  // Empty: Reachability::systemReachability().
  std::shared_ptr<Reachability> reachability;
  // The network wait: how long in all, and the pause between checks.
  double networkWaitSeconds = 60.0;
  double networkPollSeconds = 1.0;
};

}  // namespace zavro
