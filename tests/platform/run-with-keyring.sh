#!/bin/sh
# Runs a test program on a private session bus with a private gnome-keyring whose login keyring is
# unlocked with the password "test". Nothing of the user's own session or keyrings is touched.
set -eu
command -v dbus-run-session >/dev/null || { echo "run-with-keyring: dbus-run-session is missing" >&2; exit 1; }
command -v gnome-keyring-daemon >/dev/null || { echo "run-with-keyring: gnome-keyring-daemon is missing" >&2; exit 1; }

root=$(mktemp -d "${TMPDIR:-/tmp}/zavro-keyring-XXXXXX")
trap 'rm -rf "$root"' EXIT INT TERM
mkdir -p "$root/home" "$root/run"
chmod 700 "$root/run"
export HOME="$root/home" XDG_RUNTIME_DIR="$root/run" XDG_DATA_HOME="$root/home/data" \
  XDG_CONFIG_HOME="$root/home/config" XDG_CACHE_HOME="$root/home/cache"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY GNOME_KEYRING_CONTROL

status=0
dbus-run-session -- sh -c '
  printf %s test | gnome-keyring-daemon --unlock --components=secrets --daemonize >"$XDG_RUNTIME_DIR/keyring.out" 2>&1 ||
    { cat "$XDG_RUNTIME_DIR/keyring.out" >&2; exit 1; }
  # The daemon normally leaves with the bus; ending it by its own pid makes sure it does.
  keyring=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets 2>/dev/null | awk "/uint32/ {print \$2}")
  code=0
  "$@" || code=$?
  if [ -n "$keyring" ]; then kill "$keyring" 2>/dev/null || true; fi
  exit "$code"' run-with-keyring "$@" || status=$?
exit "$status"
