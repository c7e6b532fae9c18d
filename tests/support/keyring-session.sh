#!/bin/sh
# Run inside dbus-run-session: starts a gnome-keyring-daemon (Secret Service
# only) whose login collection is made and unlocked with a throw-away
# password, in a home of its own; runs the given command once the service
# owns its name on the bus; stops the daemon and removes the home; exits
# with the command's status.
set -u
home=$(mktemp -d "${TMPDIR:-/tmp}/korvel-keyring.XXXXXX") || exit 70
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
       XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run"
printf 'korvel' | gnome-keyring-daemon --foreground --components=secrets --unlock >"$home/keyring.log" 2>&1 &
keyring=$!
if ! gdbus wait --session --timeout 30 org.freedesktop.secrets; then
  echo "keyring-session: the Secret Service did not come up" >&2
  cat "$home/keyring.log" >&2
  kill "$keyring" 2>/dev/null
  exit 70
fi
"$@"
status=$?
kill "$keyring" 2>/dev/null
wait "$keyring" 2>/dev/null
exit $status
