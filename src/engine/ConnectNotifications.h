// Names of the notifications the connect controller posts around every connection attempt.
#pragma once

namespace zavro {

// Once per connect request, before the first dial; user info "pop" (the POP object), "accessType" (the
// list's access mask, an integer) and "dialString" (absent when the list gives none).
inline constexpr const char ZavroPreConnectNotification[] = "ZavroPreConnectNotification";
// Before every netconfig run of a dial.
inline constexpr const char ZavroPreDialNotification[] = "ZavroPreDialNotification";
// When the connection reports connected; user info "Baud Rate" (a string, possibly "").
inline constexpr const char ZavroModemNegotiatedNotification[] = "ZavroModemNegotiatedNotification";
inline constexpr const char ZavroPreTunnelNotification[] = "ZavroPreTunnelNotification";
// When the phonebook update after connecting has ended (at once when automatic update is off).
inline constexpr const char ZavroTunnelNotification[] = "ZavroTunnelNotification";
inline constexpr const char ZavroPostConnectNotification[] = "ZavroPostConnectNotification";
// A disconnect requested while connected, and while connecting.
inline constexpr const char ZavroDisconnectNotification[] = "ZavroDisconnectNotification";
inline constexpr const char ZavroCancelNotification[] = "ZavroCancelNotification";
// A connection error, or giving up after the last redial.
inline constexpr const char ZavroErrorNotification[] = "ZavroErrorNotification";

// Sent by application termination and system power-off to the objects that keep state.
inline constexpr const char ZavroApplicationWillTerminateNotification[] = "ZavroApplicationWillTerminateNotification";
inline constexpr const char ZavroWorkspaceWillPowerOffNotification[] = "ZavroWorkspaceWillPowerOffNotification";

}  // namespace zavro
